/* Creation and layout of the band's windows: the toolbar (a child of the
   site window) with the menu button and the two speed buttons, and inside
   it the ticker window and the feed combo box. Everything here runs on the
   browser's window thread. */
#include "toolbar/toolbar.h"
#include "core/module.h"
#include "core/display.h"
#include "feeds/feedlist.h"
#include "feeds/status.h"
#include "ticker/ticker.h"
#include "resources/resource.h"
#include <commctrl.h>

/* WS_CHILD, WS_CLIPSIBLINGS, WS_CLIPCHILDREN, TBSTYLE_LIST, TBSTYLE_FLAT,
   CCS_NODIVIDER, CCS_NOPARENTALIGN, CCS_NORESIZE and the low bits 0x13;
   hidden until the band is shown. */
static const DWORD TOOLBAR_STYLE = 0x4600185F;
static const DWORD CHILD_STYLE = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_BORDER;
static const COLORREF TRANSPARENT_GREEN = 0x00FF00;

/* The menu button's text only makes room beside the logo. */
static char menuButtonText[] = "                 ";

static const TBBUTTON buttonTable[3] = {
    { MAKELONG(0, 1), IDM_MAIN, TBSTATE_ENABLED, BTNS_WHOLEDROPDOWN | BTNS_SHOWTEXT | BTNS_AUTOSIZE, { 0, 0 }, 0, 0 },
    { 0, IDM_FASTER, TBSTATE_ENABLED, BTNS_AUTOSIZE, { 0, 0 }, 0, 0 },
    { 1, IDM_SLOWER, TBSTATE_ENABLED, BTNS_AUTOSIZE, { 0, 0 }, 0, 0 },
};

/* A bitmap of images cells, each cellWidth by height at 96 DPI, stretched
   to the system DPI. */
static HIMAGELIST LoadBandImages(UINT bitmap, int cellWidth, int images, int height)
{
    int dpi = SystemDpi();
    if (dpi == 96)
        return ImageList_LoadImageA(moduleHandle, MAKEINTRESOURCEA(bitmap), cellWidth, 0, TRANSPARENT_GREEN,
                                    IMAGE_BITMAP, LR_CREATEDIBSECTION);
    int cell = ScaleAt(cellWidth, dpi);
    HBITMAP picture = (HBITMAP)LoadImageA(moduleHandle, MAKEINTRESOURCEA(bitmap), IMAGE_BITMAP, cell * images,
                                          ScaleAt(height, dpi), LR_CREATEDIBSECTION);
    HIMAGELIST list = ImageList_Create(cell, ScaleAt(height, dpi), ILC_COLOR24 | ILC_MASK, images, 0);
    if (list && picture)
        ImageList_AddMasked(list, picture, TRANSPARENT_GREEN);
    if (picture)
        DeleteObject(picture);
    return list;
}

/* Right behind the Slower button, which is 68 pixels after the menu
   button's right edge when the speed buttons are 34 pixels wide. The
   toolbar gives every button the size of its largest image list, which
   can make them much wider (81 pixels under Wine), so the place is
   measured rather than counted from the menu button. */
static int TickerLeft(HWND toolbar)
{
    RECT button = { 0, 0, 0, 0 };
    SendMessageA(toolbar, TB_GETITEMRECT, 2, (LPARAM)&button);
    return button.right;
}

/* Detaches and destroys the image lists of the toolbar and the combo box. */
static void DestroyBandImages(HWND toolbar)
{
    for (WPARAM index = 0; index < 2; index++) {
        HIMAGELIST images = (HIMAGELIST)SendMessageA(toolbar, TB_SETIMAGELIST, index, 0);
        if (images)
            ImageList_Destroy(images);
    }
    HWND combo = GetDlgItem(toolbar, FEED_COMBO_ID);
    if (combo) {
        HIMAGELIST images = (HIMAGELIST)SendMessageA(combo, CBEM_SETIMAGELIST, 0, 0);
        if (images)
            ImageList_Destroy(images);
    }
}

/* The menu button's keys while the toolbar has the focus. */
static BOOL IsMenuButtonKey(WPARAM key)
{
    return key == VK_RETURN || key == VK_SPACE || key == VK_DOWN;
}

/* The toolbar tells its notification window only by handing it back. */
static HWND NotificationWindow(HWND toolbar)
{
    HWND notify = (HWND)SendMessageA(toolbar, TB_SETPARENT, (WPARAM)GetParent(toolbar), 0);
    SendMessageA(toolbar, TB_SETPARENT, (WPARAM)notify, 0);
    return notify;
}

/* From the keyboard the menu button drops its menu as a click does. */
static void DropMenuButton(HWND toolbar)
{
    NMTOOLBARA drop;
    ZeroMemory(&drop, sizeof(drop));
    drop.hdr.hwndFrom = toolbar;
    drop.hdr.idFrom = TOOLBAR_ID;
    drop.hdr.code = TBN_DROPDOWN;
    drop.iItem = IDM_MAIN;
    SendMessageA(toolbar, TB_GETITEMRECT, 0, (LPARAM)&drop.rcButton);
    HWND notify = NotificationWindow(toolbar);
    if (notify)
        SendMessageA(notify, WM_NOTIFY, TOOLBAR_ID, (LPARAM)&drop);
}

/* Outermost procedure of the toolbar: the menu button's keys, the hot
   button that shows the focus, and the image lists made here given back
   while the combo box still exists; every message then goes on to
   BandWindowProc. */
static LRESULT CALLBACK ToolbarWindowProc(HWND toolbar, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        DestroyBandImages(toolbar);
        break;
    case WM_GETDLGCODE: {
        const MSG *msg = (const MSG *)lParam;
        return msg && msg->message == WM_KEYDOWN && IsMenuButtonKey(msg->wParam) ? DLGC_WANTMESSAGE : 0;
    }
    case WM_KEYDOWN:
        if (!IsMenuButtonKey(wParam))
            break;
        DropMenuButton(toolbar);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        SendMessageA(toolbar, TB_SETHOTITEM, message == WM_SETFOCUS ? 0 : (WPARAM)-1, 0);
        break;
    }
    return BandWindowProc(toolbar, message, wParam, lParam);
}

static void SetUpToolbar(HWND toolbar)
{
    SendMessageA(toolbar, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
    SendMessageA(toolbar, TB_SETBUTTONWIDTH, 0, MAKELONG(ScaleToDpi(16), ScaleToDpi(32)));
    SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(toolbar, TB_SETMAXTEXTROWS, 1, 0);
    /* A second image list needs the toolbar told to behave as version 5
       or later; without it both lists land in slot 0. */
    SendMessageA(toolbar, CCM_SETVERSION, 5, 0);
    SendMessageA(toolbar, TB_SETIMAGELIST, 0, (LPARAM)LoadBandImages(IDB_SPEED, 22, 2, 22));
    SendMessageA(toolbar, TB_SETIMAGELIST, 1, (LPARAM)LoadBandImages(IDB_LOGO, 73, 1, 22));

    TBBUTTON buttons[3];
    CopyMemory(buttons, buttonTable, sizeof(buttons));
    buttons[0].iString = (INT_PTR)menuButtonText;
    SendMessageA(toolbar, TB_ADDBUTTONSA, 3, (LPARAM)buttons);

    /* The toolbar's own procedure is where BandWindowProc forwards to. */
    LONG_PTR own = GetWindowLongPtrA(toolbar, GWLP_WNDPROC);
    SetWindowLongPtrA(toolbar, GWLP_USERDATA, own);
    SetWindowLongPtrA(toolbar, GWLP_WNDPROC, (LONG_PTR)ToolbarWindowProc);
}

void CreateBandWindows(BandState *band, HWND parentWindow, HWND *toolbarOut)
{
    HWND toolbar = CreateWindowExA(0, TOOLBARCLASSNAMEA, NULL, TOOLBAR_STYLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                   CW_USEDEFAULT, CW_USEDEFAULT, parentWindow, (HMENU)TOOLBAR_ID,
                                   moduleHandle, NULL);
    *toolbarOut = toolbar;
    if (!toolbar)
        return;
    SetUpToolbar(toolbar);

    int top = ScaleToDpi(2);
    CreateWindowExA(WS_EX_CLIENTEDGE, TICKER_WINDOW_CLASS, NULL, CHILD_STYLE, TickerLeft(toolbar), top,
                    ScaleToDpi(1024), ScaleToDpi(25), toolbar, (HMENU)TICKER_ID, moduleHandle, band);
    HWND combo = CreateWindowExA(0, WC_COMBOBOXEXA, NULL, CHILD_STYLE | CBS_DROPDOWNLIST, ScaleToDpi(400), top,
                                 ScaleToDpi(256), ScaleToDpi(512), toolbar, (HMENU)FEED_COMBO_ID, moduleHandle,
                                 NULL);
    if (combo) {
        SendMessageA(combo, CBEM_SETIMAGELIST, 0, (LPARAM)LoadBandImages(IDB_FEED, 18, 1, 18));
        CreateFeedStatusTip(toolbar, combo);
    }
    PostMessageA(toolbar, WM_FEEDLIST_FILL, 0, 0);
}

void PlaceBandChildren(int width, int tickerLeft, int dpi, RECT *ticker, RECT *combo)
{
    int top = ScaleAt(2, dpi);
    /* The combo box's height is that of its dropped-down list. */
    SetRect(combo, width - ScaleAt(272, dpi), top, width - ScaleAt(16, dpi), top + ScaleAt(512, dpi));
    SetRect(ticker, tickerLeft, top, width - ScaleAt(280, dpi), top + ScaleAt(25, dpi));
}

void LayoutBandWindows(HWND siteWindow, HWND toolbar)
{
    RECT client, site, bar;
    GetClientRect(siteWindow, &client);
    GetWindowRect(siteWindow, &site);
    GetWindowRect(toolbar, &bar);
    int width = client.right - (bar.left - site.left);

    HWND ticker = GetDlgItem(toolbar, TICKER_ID);
    HWND combo = GetDlgItem(toolbar, FEED_COMBO_ID);
    if (!ticker || !combo)
        return;
    RECT tickerRect, comboRect;
    PlaceBandChildren(width, TickerLeft(toolbar), SystemDpi(), &tickerRect, &comboRect);
    MoveWindow(ticker, tickerRect.left, tickerRect.top, tickerRect.right - tickerRect.left,
               tickerRect.bottom - tickerRect.top, TRUE);
    MoveWindow(combo, comboRect.left, comboRect.top, comboRect.right - comboRect.left,
               comboRect.bottom - comboRect.top, TRUE);
}

/* The site window outlives the band, and other add-ons may subclass it
   after us: the common controls' subclass chain lets each of us leave in
   any order, and the host's own user data stays the host's. Each band
   sited on the window has its own subclass, named by the band's address;
   while one is in the chain the module stays loaded.
   Below a later subclasser, comctl32's own procedure stays in the window's
   chain after ours has left, so comctl32 must outlive this module. It is
   found by InitCommonControlsEx, which is imported by address (the subclass
   calls are reached through stubs of this module). */
static void PinCommonControls(void)
{
    HMODULE comctl = NULL;
    (void)GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                             (LPCSTR)(void *)InitCommonControlsEx, &comctl);
}

void SubclassSiteWindow(HWND site, UINT_PTR id)
{
    if (!SetWindowSubclass(site, SiteWindowProc, id, 0))
        return;
    PinCommonControls();
    LockModule();
}

/* Also when the window goes while the band is still sited on it. */
void UnsubclassSiteWindow(HWND site, UINT_PTR id)
{
    if (site && RemoveWindowSubclass(site, SiteWindowProc, id))
        UnlockModule();
}

/* The site window's subclass procedure: the band follows the site's width. */
LRESULT CALLBACK SiteWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                DWORD_PTR data)
{
    (void)data;
    if (message == WM_SIZE) {
        HWND toolbar = GetDlgItem(window, TOOLBAR_ID);
        if (toolbar && LOWORD(lParam) != 0)
            LayoutBandWindows(window, toolbar);
    } else if (message == WM_NCDESTROY) {
        UnsubclassSiteWindow(window, id);
    }
    return DefSubclassProc(window, message, wParam, lParam);
}
