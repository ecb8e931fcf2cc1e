/* What every layer needs of the COM server, and nothing else: the DLL's
   own module and the process state of the living band objects. */
#ifndef VELMORA_MODULE_H
#define VELMORA_MODULE_H

#include <windows.h>

struct BandState;

/* The DLL's own module: every resource, the module path and window class. */
extern HINSTANCE moduleHandle;

/* The process state of the living band objects; null while none exists. */
extern BandState *processBandState;

/* A feed-list thread keeps the state it fills from (its events and server
   list) until it has ended; the last holder frees it. */
void HoldBandState(BandState *band);
void ReleaseBandState(BandState *band);

/* Callers that keep the module from being unloaded: band states, class
   factories, LockServer locks and running fill threads. */
void LockModule(void);
void UnlockModule(void);

#endif
