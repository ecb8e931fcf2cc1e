/* Test programs must not import comctl32: Wine keeps one comctl32 per
   process, and a static import would load the copy without a manifest before
   velmora.dll could bring in version 6. The product code linked into a test
   program calls comctl32 through import slots, so this file (linked into the
   program itself, ahead of the import library) defines those slots and sends
   each call to the comctl32 that the scratch velmora.dll is bound to. */
#include "tests/support/comctl_imports.h"
#include "tests/support/import_slot.h"
#include "band/band.h"
#include <commctrl.h>

HMODULE CommonControlsOf(HMODULE module)
{
    if (!module)
        return NULL;
    BYTE *base = (BYTE *)module;
    IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY *directory = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (IMAGE_IMPORT_DESCRIPTOR *import = (IMAGE_IMPORT_DESCRIPTOR *)(base + directory->VirtualAddress);
         directory->VirtualAddress && import->Name; import++) {
        if (lstrcmpiA((const char *)(base + import->Name), "comctl32.dll") != 0)
            continue;
        /* The first bound slot points into the module the loader chose. */
        IMAGE_THUNK_DATA *slot = (IMAGE_THUNK_DATA *)(base + import->FirstThunk);
        HMODULE comctl = NULL;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           (LPCSTR)slot->u1.Function, &comctl);
        return comctl;
    }
    return NULL;
}

FARPROC CommonControlsProc(const char *name)
{
    HMODULE comctl = CommonControlsOf(moduleHandle);
    return comctl ? GetProcAddress(comctl, name) : NULL;
}

template <class F> static F Bound(const char *name)
{
    return (F)(void (*)(void))CommonControlsProc(name);
}

static BOOL WINAPI CallInitCommonControlsEx(const INITCOMMONCONTROLSEX *controls)
{
    auto real = Bound<BOOL (WINAPI *)(const INITCOMMONCONTROLSEX *)>("InitCommonControlsEx");
    return real ? real(controls) : FALSE;
}

static HIMAGELIST WINAPI CallImageListLoadImageA(HINSTANCE instance, LPCSTR name, int cx, int grow,
                                                 COLORREF mask, UINT type, UINT flags)
{
    auto real = Bound<HIMAGELIST (WINAPI *)(HINSTANCE, LPCSTR, int, int, COLORREF, UINT, UINT)>(
        "ImageList_LoadImageA");
    return real ? real(instance, name, cx, grow, mask, type, flags) : NULL;
}

static BOOL WINAPI CallImageListDestroy(HIMAGELIST images)
{
    auto real = Bound<BOOL (WINAPI *)(HIMAGELIST)>("ImageList_Destroy");
    return real ? real(images) : FALSE;
}

static HIMAGELIST WINAPI CallImageListCreate(int cx, int cy, UINT flags, int initial, int grow)
{
    auto real = Bound<HIMAGELIST (WINAPI *)(int, int, UINT, int, int)>("ImageList_Create");
    return real ? real(cx, cy, flags, initial, grow) : NULL;
}

static int WINAPI CallImageListAddMasked(HIMAGELIST images, HBITMAP bitmap, COLORREF mask)
{
    auto real = Bound<int (WINAPI *)(HIMAGELIST, HBITMAP, COLORREF)>("ImageList_AddMasked");
    return real ? real(images, bitmap, mask) : -1;
}

/* commctrl.h declares the subclass calls without dllimport: the product
   calls them through the import library's stubs, so they are defined here
   by name rather than as slots. */
BOOL WINAPI SetWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data)
{
    auto real = Bound<BOOL (WINAPI *)(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR)>("SetWindowSubclass");
    return real ? real(window, proc, id, data) : FALSE;
}

BOOL WINAPI RemoveWindowSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id)
{
    auto real = Bound<BOOL (WINAPI *)(HWND, SUBCLASSPROC, UINT_PTR)>("RemoveWindowSubclass");
    return real ? real(window, proc, id) : FALSE;
}

LRESULT WINAPI DefSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto real = Bound<LRESULT (WINAPI *)(HWND, UINT, WPARAM, LPARAM)>("DefSubclassProc");
    return real ? real(window, message, wParam, lParam) : 0;
}

extern "C" {
void *importInitCommonControlsEx IMPORT_SLOT(InitCommonControlsEx, 4) = (void *)CallInitCommonControlsEx;
void *importImageListLoadImageA IMPORT_SLOT(ImageList_LoadImageA, 28) = (void *)CallImageListLoadImageA;
void *importImageListDestroy IMPORT_SLOT(ImageList_Destroy, 4) = (void *)CallImageListDestroy;
void *importImageListCreate IMPORT_SLOT(ImageList_Create, 20) = (void *)CallImageListCreate;
void *importImageListAddMasked IMPORT_SLOT(ImageList_AddMasked, 12) = (void *)CallImageListAddMasked;
}
