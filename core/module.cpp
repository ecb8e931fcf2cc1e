/* The module's globals and the counts behind DllCanUnloadNow. Kept apart
   from the entry points so that code linked without them (the test
   programs) can point moduleHandle at a module of its choosing. The counts
   are interlocked: a feed-list thread may drop the last hold. */
#include "core/module.h"
#include "core/state.h"

HINSTANCE moduleHandle;
BandState *processBandState;

const CLSID CLSID_VelmoraBand =
    { 0x3C5B9E21, 0x7D4A, 0x4F06, { 0x9B, 0x3E, 0x2A, 0x61, 0xC8, 0xD0, 0xF5, 0xB7 } };

static volatile LONG moduleUsers;

/* The BandState record with the count of its holders behind it. */
struct HeldBandState {
    BandState state;
    volatile LONG holders;
};

void LockModule(void)
{
    InterlockedIncrement(&moduleUsers);
}

void UnlockModule(void)
{
    InterlockedDecrement(&moduleUsers);
}

HRESULT CanUnloadModule(void)
{
    return moduleUsers == 0 ? S_OK : S_FALSE;
}

BandState *CreateBandStateRecord(void)
{
    HeldBandState *held = (HeldBandState *)GlobalAlloc(GPTR, sizeof(HeldBandState));
    if (!held)
        return NULL;
    LockModule();
    held->holders = 1;
    return &held->state;
}

void HoldBandState(BandState *band)
{
    InterlockedIncrement(&((HeldBandState *)band)->holders);
}

void ReleaseBandState(BandState *band)
{
    if (InterlockedDecrement(&((HeldBandState *)band)->holders) != 0)
        return;
    if (band->feedListDoneEvent)
        CloseHandle(band->feedListDoneEvent);
    if (band->serverList)
        GlobalFree(band->serverList);
    GlobalFree(band);
    UnlockModule();
}
