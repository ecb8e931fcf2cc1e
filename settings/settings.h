/* The settings file beside the DLL, the server-list string and the ticker
   fonts. */
#ifndef VELMORA_SETTINGS_H
#define VELMORA_SETTINGS_H

#include <windows.h>

struct BandState;

#define SETTINGS_PATH_SIZE      255
#define SERVER_LIST_SIZE        65536

/* Entry, its index from 0, and the caller's context; the result is ignored. */
typedef int (*ServerCallback)(char *entry, int index, void *context);

HRESULT GetSettingsPath(UINT stringId, char *buffer, int size);
void LoadBandSettings(BandState *band);
/* The feed shown at start: [Servers] show, or the default feed string. */
void LoadShownFeedUrl(char *url, int size);
/* "Config"/"Refresh": minutes between refreshes, 30 when missing, 0 for
   never, at least 1 otherwise. */
LONG LoadRefreshMinutes(void);
void StoreRefreshMinutes(BandState *band, LONG minutes);
HRESULT CreateTickerFonts(HFONT *textFont, HFONT *linkFont);
HRESULT ForEachServer(char *list, ServerCallback callback, void *context);
HRESULT GetServerAt(char *list, int n, char **entry);

/* Reads a struct value over *value only when the stored one is valid. */
void ReadSettingsStruct(const char *path, const char *section, const char *key,
                        void *value, UINT size);

#endif
