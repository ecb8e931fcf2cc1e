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
