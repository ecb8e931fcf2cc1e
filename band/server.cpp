/* The DLL's entry point. */
#include "band/band.h"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void *reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        moduleHandle = module;
    return TRUE;
}
