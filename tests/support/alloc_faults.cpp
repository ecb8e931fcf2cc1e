/* Defines the program's GlobalAlloc import slot (linked into the program,
   ahead of kernel32's import library) and forwards to kernel32, except for
   the one allocation a test asked to fail. */
#include "tests/support/alloc_faults.h"
#include "tests/support/import_slot.h"

static void *volatile failingSize;

void FailNextAllocationOf(SIZE_T bytes)
{
    failingSize = (void *)bytes;
}

static HGLOBAL WINAPI TestGlobalAlloc(UINT flags, SIZE_T bytes)
{
    if (bytes && InterlockedCompareExchangePointer(&failingSize, NULL, (void *)bytes) == (void *)bytes) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    static HGLOBAL (WINAPI *real)(UINT, SIZE_T);
    if (!real)
        real = (HGLOBAL (WINAPI *)(UINT, SIZE_T))(void (*)(void))GetProcAddress(GetModuleHandleA("kernel32.dll"), "GlobalAlloc");
    return real(flags, bytes);
}

extern "C" {
void *importGlobalAlloc IMPORT_SLOT(GlobalAlloc, 8) = (void *)TestGlobalAlloc;
}
