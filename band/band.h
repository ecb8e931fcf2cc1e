/* Process-wide globals of the COM server. */
#ifndef VELMORA_BAND_H
#define VELMORA_BAND_H

#include <windows.h>

/* The DLL's own module: every resource, the module path and window class. */
extern HINSTANCE moduleHandle;

struct BandState;
/* The process's one band record while a band object exists, else null. */
extern BandState *processBandState;

#endif
