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

/* Every sited band's top-level browser window and toolbar, so that the
   rendering thread can tell when the user has brought another browser
   window of the process to the front. Written only on the window thread, as
   bands are sited and leave; an entry with no top window is free. The
   rendering thread reads it without a lock and only asks the window thread
   (ActivateSitedBand), which checks the request against its own records. */
struct SitedBand {
    HWND volatile topWindow;
    HWND volatile bandWindow;
};
#define SITED_BAND_LIMIT 64
extern SitedBand sitedBands[SITED_BAND_LIMIT];

/* Window thread: the sited band whose toolbar is bandWindow becomes the
   active one, if its browser window is still the one in front. */
void ActivateSitedBand(HWND bandWindow);

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
