#include "tests/support/registry.h"
#include <shlwapi.h>

std::string ReadText(HKEY root, const std::string &key, const char *name)
{
    char text[1024] = "";
    DWORD size = sizeof(text);
    if (SHGetValueA(root, key.c_str(), name, NULL, text, &size) != ERROR_SUCCESS)
        return "<missing>";
    return std::string(text, size ? size - 1 : 0);
}

bool HasValue(HKEY root, const char *key, const char *name)
{
    return SHGetValueA(root, key, name, NULL, NULL, NULL) == ERROR_SUCCESS;
}

bool KeyExists(HKEY root, const char *key)
{
    HKEY opened;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void DeleteUninstallerCopies(const std::string &folder)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*.tmp").c_str(), &found);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &found))
        DeleteFileA((folder + "\\" + found.cFileName).c_str());
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
}

/* Under HKEY_CLASSES_ROOT, which is the machine's classes. */
static const WCHAR MISSING_TARGET[] = L"\\Registry\\Machine\\Software\\Classes\\Velmora nowhere";

bool AddDanglingLink(HKEY root, const std::string &key)
{
    std::wstring name(key.begin(), key.end());
    HKEY link;
    if (RegCreateKeyExW(root, name.c_str(), 0, NULL, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                        NULL, &link, NULL) != ERROR_SUCCESS)
        return false;
    LONG err = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, (const BYTE *)MISSING_TARGET,
                              sizeof(MISSING_TARGET) - sizeof(WCHAR));
    RegCloseKey(link);
    return err == ERROR_SUCCESS;
}

/* Deleting by name would follow the link: the link itself is opened and deleted. */
void RemoveDanglingLink(HKEY root, const std::string &key)
{
    std::wstring name(key.begin(), key.end());
    HKEY link;
    if (RegOpenKeyExW(root, name.c_str(), REG_OPTION_OPEN_LINK, DELETE, &link) != ERROR_SUCCESS)
        return;
    auto deleteKey = (LONG (WINAPI *)(HANDLE))(void (*)(void))GetProcAddress(GetModuleHandleA("ntdll.dll"),
                                                                            "NtDeleteKey");
    if (deleteKey)
        (void)deleteKey(link);
    RegCloseKey(link);
}
