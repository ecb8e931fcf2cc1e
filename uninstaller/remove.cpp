/* The second instance: waits for the first, then removes the band's registry
   entries and, only once they are gone, the uninstaller's file, the DLL and
   the installation folder. */
#include "uninstaller/uninstaller.h"
#include "uninstaller/resource.h"
#include <shlwapi.h>

static const char CLASS_KEY[] = "CLSID\\{3C5B9E21-7D4A-4F06-9B3E-2A61C8D0F5B7}";
static const char UNINSTALL_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\velmora";
static const char TOOLBAR_KEY[] = "Software\\Microsoft\\Internet Explorer\\Toolbar";
static const char TOOLBAR_VALUE[] = "{3C5B9E21-7D4A-4F06-9B3E-2A61C8D0F5B7}";

/* An entry that is already gone is removed as far as the user cares; a
   "not found" from inside a tree whose key is still there is no removal. */
static DWORD Absorbed(LONG err, HKEY root, const char *key)
{
    HKEY left;
    if (err == ERROR_FILE_NOT_FOUND && key && RegOpenKeyExA(root, key, 0, KEY_READ, &left) == ERROR_SUCCESS) {
        RegCloseKey(left);
        return ERROR_ACCESS_DENIED;
    }
    return err == ERROR_SUCCESS || err == ERROR_FILE_NOT_FOUND ? 0 : (DWORD)err;
}

static DWORD RemoveToolbarValue(void)
{
    HKEY key;
    LONG err = RegOpenKeyExA(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, 0, KEY_WRITE, &key);
    if (err != ERROR_SUCCESS)
        return Absorbed(err, NULL, NULL);
    err = RegDeleteValueA(key, TOOLBAR_VALUE);
    RegCloseKey(key);
    return Absorbed(err, NULL, NULL);
}

/* The uninstall entry goes last and only after the others: while anything is
   left, the system's software list can start the uninstaller again. */
static DWORD RemoveRegistration(void)
{
    DWORD err = Absorbed((LONG)SHDeleteKeyA(HKEY_CLASSES_ROOT, CLASS_KEY), HKEY_CLASSES_ROOT, CLASS_KEY);
    DWORD next = RemoveToolbarValue();
    if (!err)
        err = next;
    if (!err)
        err = Absorbed((LONG)SHDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY), HKEY_LOCAL_MACHINE, UNINSTALL_KEY);
    return err;
}

BOOL JoinPath(char *path, int size, const char *directory, const char *name)
{
    int length = lstrlenA(directory);
    if (length + 1 + lstrlenA(name) >= size) {
        path[0] = 0;
        return FALSE;
    }
    lstrcpynA(path, directory, size);
    path[length] = '\\';
    lstrcpynA(path + length + 1, name, size - length - 1);
    return TRUE;
}

DWORD RemoveToolbar(const char *directory, const char *uninstallerPath)
{
    /* What is still registered keeps its files, so the two never disagree. */
    DWORD err = RemoveRegistration();
    if (err) {
        ShowMessage(IDS_NOT_REMOVED, MB_ICONERROR);
        return err;
    }
    (void)DeleteFileA(uninstallerPath);
    ShowMessage(IDS_REMOVED, MB_OK);
    /* A DLL path too long for the system was never registered: nothing to delete. */
    char dll[UNINSTALL_PATH_SIZE];
    if (JoinPath(dll, sizeof(dll), directory, "velmora.dll"))
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
    char directory[UNINSTALL_PATH_SIZE];
    lstrcpynA(directory, uninstallerPath, UNINSTALL_PATH_SIZE);
    int cut = lstrlenA(directory);
    while (cut > 0 && directory[cut] != '\\')
        cut--;
    /* Without a folder there is nothing of the band to find: the file stays too. */
    if (cut == 0)
        return;
    directory[cut] = 0;
    (void)RemoveToolbar(directory, uninstallerPath);
}
