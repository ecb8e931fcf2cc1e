/* What the source dialog, its commands and the URL input dialog share:
   the settings file's path, the check after a modal loop, and a row's text.
   Runs on the browser's window thread. */
#include "settings/dialog.h"
#include "settings/settings.h"
#include "core/module.h"
#include "resources/resource.h"
#include <commctrl.h>

void SettingsFilePath(char *path)
{
    if (FAILED(GetSettingsPath(IDS_SETTINGS_FILE, path, SETTINGS_PATH_SIZE)))
        path[0] = 0;
}

/* After a modal loop: whether the band's state and this dialog outlived it. */
BOOL OutlivedModalLoop(HWND dialog, const BandState *band)
{
    return processBandState == band && IsWindow(dialog);
}

int ServerRowText(HWND list, int row, char *text, int size)
{
    LVITEMA item;
    ZeroMemory(&item, sizeof(item));
    item.pszText = text;
    item.cchTextMax = size;
    text[0] = 0;
    return (int)SendMessageA(list, LVM_GETITEMTEXTA, (WPARAM)row, (LPARAM)&item);
}
