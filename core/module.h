/* What every layer needs of the module, and nothing else: the DLL's own
   module, the process state of the living band objects, and the counts that
   keep the module loaded while any of its code can still run. */
#ifndef VELMORA_CORE_MODULE_H
#define VELMORA_CORE_MODULE_H

#include <windows.h>

struct BandState;

/* The DLL's own module: every resource, the module path and window class. */
extern HINSTANCE moduleHandle;

/* The process state of the living band objects; null while none exists. */
extern BandState *processBandState;

/* A zero-filled BandState with one holder, or null. A feed-list thread keeps
   the state it fills from (its events and server list) until it has ended;
   the last holder frees the record with its events and server list. */
BandState *CreateBandStateRecord(void);
void HoldBandState(BandState *band);
void ReleaseBandState(BandState *band);

/* Callers that keep the module from being unloaded: band states, class
   factories, LockServer locks and running fill threads. */
void LockModule(void);
void UnlockModule(void);
HRESULT CanUnloadModule(void);

#endif
