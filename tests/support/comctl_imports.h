/* comctl32 for test programs, reached through the scratch velmora.dll. */
#ifndef VELMORA_TEST_COMCTL_IMPORTS_H
#define VELMORA_TEST_COMCTL_IMPORTS_H

#include <windows.h>

/* The comctl32 module that module's imports were bound to. */
HMODULE CommonControlsOf(HMODULE module);
/* An export of the comctl32 that the current moduleHandle uses. */
FARPROC CommonControlsProc(const char *name);

#endif
