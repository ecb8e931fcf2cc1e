/* The activation context from the DLL's manifest resource 2, which asks for
   common controls version 6. The functions are looked up at run time so that
   the band still loads on systems without activation contexts; windows are
   then created with whatever common controls the process has. */
#include "band/band.h"
#include "resources/resource.h"

typedef HANDLE (WINAPI *CreateActCtxAProc)(const ACTCTXA *context);
typedef BOOL (WINAPI *ActivateActCtxProc)(HANDLE context, ULONG_PTR *cookie);
typedef BOOL (WINAPI *DeactivateActCtxProc)(DWORD flags, ULONG_PTR cookie);
typedef void (WINAPI *ReleaseActCtxProc)(HANDLE context);

static HANDLE contextHandle;
static ULONG_PTR contextCookie;
static ActivateActCtxProc activateActCtx;
static DeactivateActCtxProc deactivateActCtx;

void CreateModuleContext(void)
{
    HMODULE kernel = LoadLibraryA("kernel32.dll");
    if (!kernel)
        return;
    CreateActCtxAProc createActCtx = (CreateActCtxAProc)(void (*)(void))GetProcAddress(kernel, "CreateActCtxA");
    activateActCtx = (ActivateActCtxProc)(void (*)(void))GetProcAddress(kernel, "ActivateActCtx");
    deactivateActCtx = (DeactivateActCtxProc)(void (*)(void))GetProcAddress(kernel, "DeactivateActCtx");
    if (!createActCtx || !activateActCtx || !deactivateActCtx)
        return;

    char path[1024];
    DWORD n = GetModuleFileNameA(moduleHandle, path, sizeof(path) - 1);
    path[n < sizeof(path) ? n : sizeof(path) - 1] = 0;
    ACTCTXA context;
    ZeroMemory(&context, sizeof(context));
    context.cbSize = sizeof(context);
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path;
    context.lpResourceName = MAKEINTRESOURCEA(IDR_MANIFEST);
    HANDLE created = createActCtx(&context);
    if (created != INVALID_HANDLE_VALUE)
        contextHandle = created;
}

/* Each build of the process state makes a new context; the old one goes with
   the state, so repeated builds do not pile contexts up. */
void ReleaseModuleContext(void)
{
    if (!contextHandle)
        return;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    ReleaseActCtxProc releaseActCtx =
        kernel ? (ReleaseActCtxProc)(void (*)(void))GetProcAddress(kernel, "ReleaseActCtx") : NULL;
    if (releaseActCtx)
        releaseActCtx(contextHandle);
    contextHandle = NULL;
}

/* Activations are never nested, so one cookie serves the process. */
void ActivateModuleContext(void)
{
    if (activateActCtx)
        activateActCtx(contextHandle, &contextCookie);
}

void DeactivateModuleContext(void)
{
    if (deactivateActCtx)
        deactivateActCtx(0, contextCookie);
}
