/* Test support: the registry entries registration writes and the
   uninstaller removes, and small readers for them. */
#ifndef VELMORA_TEST_REGISTRY_H
#define VELMORA_TEST_REGISTRY_H

#include <windows.h>
#include <string>

#define CLASS_KEY       "CLSID\\{3C5B9E21-7D4A-4F06-9B3E-2A61C8D0F5B7}"
#define UNINSTALL_KEY   "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\velmora"
#define TOOLBAR_KEY     "Software\\Microsoft\\Internet Explorer\\Toolbar"
#define TOOLBAR_VALUE   "{3C5B9E21-7D4A-4F06-9B3E-2A61C8D0F5B7}"
#define PRODUCT_KEY     "Software\\Velmora"

/* A string value, or "<missing>". */
std::string ReadText(HKEY root, const std::string &key, const char *name);
bool HasValue(HKEY root, const char *key, const char *name);
bool KeyExists(HKEY root, const char *key);
bool FileExists(const std::string &path);
/* The temporary copies ("*.tmp") the uninstaller left in folder. */
void DeleteUninstallerCopies(const std::string &folder);

/* A subkey that no recursive deletion gets past: a link to a key that does
   not exist. Registry security is not enforced under Wine, so a refusal
   cannot be staged with it. */
bool AddDanglingLink(HKEY root, const std::string &key);
void RemoveDanglingLink(HKEY root, const std::string &key);

#endif
