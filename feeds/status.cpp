/* The feed combo box's tooltip. The loader writes the last fetch's cause
   and HTTP status into the ticker record; the text is made from them each
   time the tooltip shows, so nothing has to tell the window thread. */
#include "feeds/status.h"
#include "feeds/fetch.h"
#include "core/module.h"
#include "core/state.h"
#include "resources/resource.h"
#include <shlwapi.h>

#define TIP_PROPERTY "velmora status tip"

void CreateFeedStatusTip(HWND toolbar, HWND combo)
{
    HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, NULL, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, toolbar,
                               NULL, moduleHandle, NULL);
    if (!tip)
        return;
    /* The mouse is over the edit-less combo inside the ComboBoxEx. */
    HWND inner = (HWND)SendMessageA(combo, CBEM_GETCOMBOCONTROL, 0, 0);
    TTTOOLINFOA tool;
    ZeroMemory(&tool, sizeof(tool));
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = toolbar;
    tool.uId = (UINT_PTR)(inner ? inner : combo);
    tool.hinst = moduleHandle;
    tool.lpszText = LPSTR_TEXTCALLBACKA;
    SendMessageA(tip, TTM_ADDTOOLA, 0, (LPARAM)&tool);
    SetPropA(toolbar, TIP_PROPERTY, tip);
}

void DestroyFeedStatusTip(HWND toolbar)
{
    HWND tip = (HWND)RemovePropA(toolbar, TIP_PROPERTY);
    if (tip)
        DestroyWindow(tip);
}

LRESULT FeedStatusOnGetDispInfo(const TickerState *ticker, NMTTDISPINFOA *info)
{
    LONG cause = ticker ? ticker->fetchCause : (LONG)FETCH_OK;
    if (cause < 0 || cause >= FETCH_CAUSE_COUNT)
        cause = FETCH_NO_CONNECTION;
    char format[80];
    if (!LoadStringA(moduleHandle, IDS_FETCH_STATUS + (UINT)cause, format, sizeof(format)))
        format[0] = 0;
    wnsprintfA(info->szText, sizeof(info->szText), format, ticker ? ticker->fetchStatus : 0);
    info->lpszText = info->szText;
    info->hinst = NULL;
    return 0;
}
