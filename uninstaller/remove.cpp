/* The second instance: waits for the first, then removes the uninstaller's
   file, the band's registry entries, the DLL and the installation folder. */
#include "uninstaller/uninstaller.h"
#include "uninstaller/resource.h"
#include <shlwapi.h>

static const char CLASS_KEY[] = "CLSID\\{3C5B9E21-7D4A-4F06-9B3E-2A61C8D0F5B7}";
static const char UNINSTALL_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\velmora";
static const char TOOLBAR_KEY[] = "Software\\Microsoft\\Internet Explorer\\Toolbar";
static const char TOOLBAR_VALUE[] = "{3C5B9E21-7D4A-4F06-9B3E-2A61C8D0F5B7}";

/* An entry that is already gone is removed as far as the user cares. */
static DWORD Absorbed(LONG err)
{
    return err == ERROR_SUCCESS || err == ERROR_FILE_NOT_FOUND ? 0 : (DWORD)err;
}

static DWORD RemoveToolbarValue(void)
{
    HKEY key;
    LONG err = RegOpenKeyExA(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, 0, KEY_WRITE, &key);
    if (err != ERROR_SUCCESS)
        return Absorbed(err);
    err = RegDeleteValueA(key, TOOLBAR_VALUE);
    RegCloseKey(key);
    return Absorbed(err);
}

DWORD RemoveToolbar(const char *directory)
{
    DWORD err = Absorbed((LONG)SHDeleteKeyA(HKEY_CLASSES_ROOT, CLASS_KEY));
    DWORD next = Absorbed((LONG)SHDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY));
    if (!err)
        err = next;
    next = RemoveToolbarValue();
    if (!err)
        err = next;
    /* What is still registered keeps its DLL, so the two never disagree. */
    if (err) {
        ShowMessage(IDS_NOT_REMOVED, MB_ICONERROR);
        return err;
    }
    ShowMessage(IDS_REMOVED, MB_OK);
    char dll[264];
    wsprintfA(dll, "%s\\velmora.dll", directory);
    (void)DeleteFileA(dll);
    (void)RemoveDirectoryA(directory);   /* stays while the settings file is in it */
    return 0;
}

/* Only a handle to another process is waited on: a hand-typed line naming
   any other handle must not lead to a removal. */
static BOOL WaitForFirstInstance(HANDLE process)
{
    DWORD id = GetProcessId(process);
    if (id == 0 || id == GetCurrentProcessId())
        return FALSE;
    return WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0;
}

void RemoveInstallation(HANDLE firstInstance, const char *uninstallerPath)
{
    BOOL ended = WaitForFirstInstance(firstInstance);
    CloseHandle(firstInstance);
    if (!ended)
        return;
    (void)DeleteFileA(uninstallerPath);
    char directory[UNINSTALL_PATH_SIZE];
    lstrcpynA(directory, uninstallerPath, UNINSTALL_PATH_SIZE);
    int cut = lstrlenA(directory);
    while (cut > 0 && directory[cut] != '\\')
        cut--;
    if (cut == 0)
        return;
    directory[cut] = 0;
    (void)RemoveToolbar(directory);
}
