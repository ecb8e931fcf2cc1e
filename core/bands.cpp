/* Which band the shared state serves: the active band, and the list of
   sited bands the rendering thread watches for a browser window that comes
   to the front. Everything here runs on the window thread; the rendering
   thread only reads sitedBands and the BandState fields written here. */
#include "core/handoff.h"
#include "core/module.h"

SitedBand sitedBands[SITED_BAND_LIMIT];

/* The window thread's half of sitedBands: the view of each entry. */
static const BandView *sitedViews[SITED_BAND_LIMIT];

/* The ticker moves there at once: a band sited in the window the user
   already sees gets no other event that would tell the rendering thread. */
void RequestActiveBand(const BandView *view)
{
    BandState *state = processBandState;
    if (!state)
        return;
    state->bandWindow = view->bandWindow;
    state->topWindow = view->topWindow;
    state->browser = view->browser;
    if (state->ticker)
        SetEvent(state->ticker->targetEvent);
}

/* The rendering thread then idles until another band becomes active. */
void ForgetActiveBand(const BandView *view)
{
    BandState *state = processBandState;
    if (!state || state->bandWindow != view->bandWindow || state->browser != view->browser ||
        state->topWindow != view->topWindow)
        return;
    state->bandWindow = NULL;
    state->topWindow = NULL;
    state->browser = NULL;
}

/* The top window is written last and cleared first: the rendering thread
   counts an entry only while it has one. A band beyond the limit is
   followed only through its browser's events. */
void RecordSitedBand(const BandView *view)
{
    if (!view->bandWindow || !view->topWindow)
        return;
    for (int i = 0; i < SITED_BAND_LIMIT; i++) {
        if (sitedViews[i])
            continue;
        sitedViews[i] = view;
        sitedBands[i].bandWindow = view->bandWindow;
        sitedBands[i].topWindow = view->topWindow;
        return;
    }
}

void ForgetSitedBand(const BandView *view)
{
    for (int i = 0; i < SITED_BAND_LIMIT; i++) {
        if (sitedViews[i] != view)
            continue;
        sitedBands[i].topWindow = NULL;
        sitedBands[i].bandWindow = NULL;
        sitedViews[i] = NULL;
    }
}

/* Asked by the rendering thread, which read the entry without a lock: the
   band must still be sited, shown, and in front. */
void ActivateSitedBand(HWND bandWindow)
{
    BandState *state = processBandState;
    if (!state || !bandWindow || state->bandWindow == bandWindow)
        return;
    HWND front = GetForegroundWindow();
    for (int i = 0; i < SITED_BAND_LIMIT; i++) {
        const BandView *view = sitedViews[i];
        if (view && view->bandWindow == bandWindow && view->topWindow == front && IsWindowVisible(bandWindow)) {
            RequestActiveBand(view);
            return;
        }
    }
}
