/* The settings file "serverlist" beside the DLL: its path, the values loaded
   at siting, the ticker fonts and the walks over the server-list string.
   Runs on the window thread, except that the feed-list thread walks its own
   copy of the list. */
#include "settings/settings.h"
#include "core/module.h"
#include "resources/resource.h"
#include "core/state.h"
#include "core/handoff.h"
#include "core/display.h"

/* The ticker font's height at 96 DPI. */
#define TICKER_FONT_HEIGHT 16

static const COLORREF DEFAULT_TEXT_COLOR = 0x000000;
static const COLORREF DEFAULT_LINK_COLOR = 0xFF0000;
static const COLORREF DEFAULT_BACK_COLOR = 0xFFFFFF;
static const LONG DEFAULT_REFRESH_MINUTES = 30;

HRESULT GetSettingsPath(UINT stringId, char *buffer, int size)
{
    if (!buffer || size < 2)
        return E_INVALIDARG;
    buffer[0] = 0;
    /* A module name that fills the buffer has been cut, and its last
       backslash would name a parent folder whose file is not ours. */
    DWORD n = GetModuleFileNameA(moduleHandle, buffer, (DWORD)size);
    if (n == 0 || n >= (DWORD)size) {
        buffer[0] = 0;
        return E_FAIL;
    }
    int i = (int)n;
    while (i > 0 && buffer[i] != '\\')
        i--;
    if (i <= 0) {
        buffer[0] = 0;
        return E_FAIL;
    }
    int rest = size - (i + 1);
    buffer[i + 1] = 0;
    if (rest > 0)
        LoadStringA(moduleHandle, stringId, buffer + i + 1, rest);
    return S_OK;
}

/* Wine writes into the destination even when the stored value is rejected,
   so read into a temporary and keep the default unless the read succeeds. */
void ReadSettingsStruct(const char *path, const char *section, const char *key,
                        void *value, UINT size)
{
    BYTE temp[64];
    if (size > sizeof(temp))
        return;
    if (GetPrivateProfileStructA(section, key, temp, size, path))
        CopyMemory(value, temp, size);
}

static void LoadServerList(char *list, const char *path)
{
    LoadStringA(moduleHandle, IDS_DEFAULT_SERVERS, list, SERVER_LIST_SIZE - 1);
    if (path) {
        GetPrivateProfileStringA("Servers", "Servers", list, list,
                                 SERVER_LIST_SIZE - 2, path);
    }
    /* A second NUL ends a last entry that has no ';' behind it. */
    list[lstrlenA(list) + 1] = 0;
}

/* Both readers have always kept one byte spare: at most size - 2 characters. */
void LoadShownFeedUrl(char *url, int size)
{
    char path[SETTINGS_PATH_SIZE + 1];
    LoadStringA(moduleHandle, IDS_DEFAULT_FEED, url, size - 1);
    if (SUCCEEDED(GetSettingsPath(IDS_SETTINGS_FILE, path, SETTINGS_PATH_SIZE)))
        GetPrivateProfileStringA("Servers", "show", url, url, size - 1, path);
}

void LoadBandSettings(BandState *band)
{
    char pathBuffer[SETTINGS_PATH_SIZE + 1];
    const char *path = NULL;
    if (SUCCEEDED(GetSettingsPath(IDS_SETTINGS_FILE, pathBuffer, SETTINGS_PATH_SIZE)))
        path = pathBuffer;

    if (band->serverList)
        LoadServerList(band->serverList, path);

    band->textColor = DEFAULT_TEXT_COLOR;
    band->linkColor = DEFAULT_LINK_COLOR;
    band->backColor = DEFAULT_BACK_COLOR;
    band->speed = 1;
    if (!path)
        return;
    ReadSettingsStruct(path, "Config", "Textcolor", &band->textColor, sizeof(COLORREF));
    ReadSettingsStruct(path, "Config", "Linkcolor", &band->linkColor, sizeof(COLORREF));
    ReadSettingsStruct(path, "Config", "Backcolor", &band->backColor, sizeof(COLORREF));
    ReadSettingsStruct(path, "Config", "Speed", &band->speed, sizeof(LONG));
    LONG paused = 0;
    ReadSettingsStruct(path, "Config", "Paused", &paused, sizeof(paused));
    if (band->ticker)
        RequestPause(band->ticker, PAUSE_STORED, paused != 0);
    band->refreshMinutes = LoadRefreshMinutes();
}

static LONG ValidRefreshMinutes(LONG minutes)
{
    return minutes == 0 ? 0 : minutes < 1 ? 1 : minutes;
}

LONG LoadRefreshMinutes(void)
{
    char path[SETTINGS_PATH_SIZE + 1];
    LONG minutes = DEFAULT_REFRESH_MINUTES;
    if (SUCCEEDED(GetSettingsPath(IDS_SETTINGS_FILE, path, SETTINGS_PATH_SIZE)))
        ReadSettingsStruct(path, "Config", "Refresh", &minutes, sizeof(minutes));
    return ValidRefreshMinutes(minutes);
}

/* Written like the other numbers, and the loader told at once. */
void StoreRefreshMinutes(BandState *band, LONG minutes)
{
    minutes = ValidRefreshMinutes(minutes);
    band->refreshMinutes = minutes;
    char path[SETTINGS_PATH_SIZE + 1];
    if (SUCCEEDED(GetSettingsPath(IDS_SETTINGS_FILE, path, SETTINGS_PATH_SIZE)))
        (void)WritePrivateProfileStructA("Config", "Refresh", &minutes, sizeof(minutes), path);
    if (band->ticker)
        RescheduleRefresh(band->ticker);
}

static HFONT CreateTickerFont(const char *face, const FontStyle *style, BOOL underline,
                              DWORD pitchAndFamily)
{
    return CreateFontA(ScaleToDpi(TICKER_FONT_HEIGHT), 0, 0, 0, style->weight, style->italic, underline, FALSE,
                       style->charSet, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                       DEFAULT_QUALITY, pitchAndFamily, face);
}

HRESULT CreateTickerFonts(HFONT *textFont, HFONT *linkFont)
{
    char path[SETTINGS_PATH_SIZE + 1];
    char face[FONT_FACE_SIZE] = DEFAULT_FONT_FACE;
    FontStyle style = { FW_NORMAL, 0, ANSI_CHARSET };

    if (SUCCEEDED(GetSettingsPath(IDS_SETTINGS_FILE, path, SETTINGS_PATH_SIZE))) {
        GetPrivateProfileStringA("Config", "Font", DEFAULT_FONT_FACE, face, FONT_FACE_SIZE - 1, path);
        ReadSettingsStruct(path, "Config", "FontStyle", &style, sizeof(style));
    }
    *textFont = CreateTickerFont(face, &style, FALSE, 0);
    *linkFont = CreateTickerFont(face, &style, TRUE, FF_ROMAN);
    return S_OK;
}

/* Cuts the entry in place at its terminator; returns its length (0 ends the list). */
static int CutServerEntry(char *entry)
{
    int length = 0;
    while (entry[length] && entry[length] != ';')
        length++;
    if (length)
        entry[length] = 0;
    return length;
}

HRESULT ForEachServer(char *list, ServerCallback callback, void *context)
{
    if (!list)
        return S_OK;
    int index = 0;
    for (char *entry = list;;) {
        int length = CutServerEntry(entry);
        if (!length)
            break;
        callback(entry, index++, context);
        entry += length + 1;
    }
    return S_OK;
}

HRESULT GetServerAt(char *list, int n, char **entry)
{
    *entry = NULL;
    if (!list || n < 0)
        return S_OK;
    int index = 0;
    for (char *cursor = list;;) {
        int length = CutServerEntry(cursor);
        if (!length)
            break;
        if (index == n) {
            *entry = cursor;
            break;
        }
        index++;
        cursor += length + 1;
    }
    return S_OK;
}
