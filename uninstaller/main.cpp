/* vmuninst's entry point: the command line decides which instance this is. */
#include "uninstaller/uninstaller.h"
#include "uninstaller/resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR arguments, int show)
{
    (void)instance;
    (void)previous;
    (void)arguments;
    (void)show;
    ULONG_PTR handle;
    char path[UNINSTALL_PATH_SIZE];
    switch (ParseRelaunchCommandLine(GetCommandLineA(), &handle, path)) {
    case RELAUNCH_PRESENT:
        RemoveInstallation((HANDLE)handle, path);
        break;
    case RELAUNCH_ABSENT:
        if (ShowMessage(IDS_CONFIRM, MB_OKCANCEL | MB_ICONQUESTION) == IDCANCEL)
            break;
        if (DWORD err = RelaunchFromTempCopy()) {
            SetLastError(err);
            ShowLastError(NULL);
        }
        break;
    case RELAUNCH_REFUSED:
        break;
    }
    return 0;
}
