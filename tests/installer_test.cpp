/* The installer of this build, run as a user or a deployment would: a silent
   install into a scratch "Program Files" shows nothing, writes the band's
   registration as the DLL itself writes it and the uninstall entry, the
   uninstaller that entry names removes it again, and the registry ends as it
   began but for what the uninstaller keeps. */
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>
#include <set>
#include <string>
#include <vector>
#include "band/band.h"
#include "uninstaller/resource.h"
#include "tests/support/scratch.h"
#include "tests/support/registry.h"
#include "tests/support/boxes.h"
#include "tests/support/hresult.h"

namespace {


std::string Hex(const BYTE *data, DWORD size)
{
    std::string text;
    for (DWORD b = 0; b < size; b++) {
        text += "0123456789abcdef"[data[b] >> 4];
        text += "0123456789abcdef"[data[b] & 15];
    }
    return text;
}

/* The registry as lines, one per key and one per value with its data. */
typedef std::set<std::string> Snapshot;

void AddKey(HKEY key, const std::string &path, Snapshot *lines)
{
    lines->insert(path);
    DWORD subkeys = 0, nameMax = 0, dataMax = 0;
    if (RegQueryInfoKeyA(key, NULL, NULL, NULL, &subkeys, NULL, NULL, NULL, &nameMax, &dataMax, NULL, NULL) !=
        ERROR_SUCCESS)
        return;
    std::vector<char> name(nameMax + 2);
    std::vector<BYTE> data(dataMax + 1);
    for (DWORD i = 0;; i++) {
        DWORD nameSize = (DWORD)name.size(), dataSize = (DWORD)data.size(), type = 0;
        if (RegEnumValueA(key, i, name.data(), &nameSize, NULL, &type, data.data(), &dataSize) != ERROR_SUCCESS)
            break;
        lines->insert(path + " : " + name.data() + " = " + std::to_string(type) + ":" + Hex(data.data(), dataSize));
    }
    for (DWORD i = 0; i < subkeys; i++) {
        char subkey[256];
        DWORD size = sizeof(subkey);
        HKEY opened;
        if (RegEnumKeyExA(key, i, subkey, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        if (RegOpenKeyExA(key, subkey, 0, KEY_READ, &opened) != ERROR_SUCCESS)
            continue;
        AddKey(opened, path + "\\" + subkey, lines);
        RegCloseKey(opened);
    }
}

/* Both software hives: every class, the machine's and the user's settings. */
Snapshot TakeSnapshot()
{
    Snapshot lines;
    const struct { HKEY root; const char *name; } hives[] = {
        { HKEY_LOCAL_MACHINE, "HKLM\\Software" }, { HKEY_CURRENT_USER, "HKCU\\Software" } };
    for (const auto &hive : hives) {
        HKEY key;
        if (RegOpenKeyExA(hive.root, "Software", 0, KEY_READ, &key) != ERROR_SUCCESS)
            continue;
        AddKey(key, hive.name, &lines);
        RegCloseKey(key);
    }
    return lines;
}

/* What one snapshot has that the other lacks, minus the product key that
   the uninstaller keeps on purpose. */
std::string Differences(const Snapshot &before, const Snapshot &after)
{
    const std::string kept = std::string("HKLM\\") + PRODUCT_KEY;
    std::string text;
    auto add = [&](const Snapshot &from, const Snapshot &in, const char *sign) {
        for (const std::string &line : from) {
            if (in.count(line) || line == kept || line.rfind(kept + "\\", 0) == 0 || line.rfind(kept + " :", 0) == 0)
                continue;
            text += std::string(sign) + line.substr(0, 200) + "\n";
        }
    };
    add(before, after, "- ");
    add(after, before, "+ ");
    return text;
}

/* What a registration wrote: the class key's tree with the DLL's path as
   "<dll>", the browser's toolbar entry, and the types and sizes of the
   installation's id and date, which differ from one registration to the next. */
Snapshot RegistrationLines(const std::string &dll)
{
    Snapshot lines;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, CLASS_KEY, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        AddKey(key, "HKCR\\" CLASS_KEY, &lines);
        RegCloseKey(key);
    }
    std::string server = "HKCR\\" CLASS_KEY "\\InprocServer32 :  = 1:" + Hex((const BYTE *)dll.c_str(), (DWORD)dll.size() + 1);
    if (lines.erase(server))
        lines.insert("InprocServer32 = <dll>");
    const struct { const char *key, *name; bool data; } values[] = {
        { TOOLBAR_KEY, TOOLBAR_VALUE, true }, { PRODUCT_KEY, "RegisterGUID", false }, { PRODUCT_KEY, "InstallDate", false } };
    for (const auto &value : values) {
        BYTE data[64];
        DWORD type = 0, size = sizeof(data);
        if (SHGetValueA(HKEY_LOCAL_MACHINE, value.key, value.name, &type, data, &size) == ERROR_SUCCESS)
            lines.insert(std::string(value.name) + " = " + std::to_string(type) + ":" +
                         (value.data ? Hex(data, size) : std::to_string(size) + " bytes"));
    }
    return lines;
}

/* The visible windows of a process, and any browser window, as text. */
BOOL CALLBACK AddShownWindow(HWND window, LPARAM lParam)
{
    auto shown = (std::pair<DWORD, std::string> *)lParam;
    char name[64] = "", caption[260] = "", text[260] = "";
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    GetClassNameA(window, name, sizeof(name));
    if (!IsWindowVisible(window) || (owner != shown->first && lstrcmpA(name, "IEFrame") != 0))
        return TRUE;
    GetWindowTextA(window, caption, sizeof(caption));
    GetDlgItemTextA(window, 0xFFFF, text, sizeof(text));
    shown->second += std::string("[") + name + " \"" + caption + "\" " + text + "] ";
    return TRUE;
}

std::string WindowsShown(DWORD process)
{
    std::pair<DWORD, std::string> shown(process, "");
    EnumWindows(AddShownWindow, (LPARAM)&shown);
    return shown.second;
}

/* Wine's browser, opened by the registration, outlives its last reference. */
void CloseBrowser()
{
    HWND frame = FindWindowA("IEFrame", NULL);
    if (!frame)
        return;
    DWORD id = 0;
    GetWindowThreadProcessId(frame, &id);
    HANDLE browser = OpenProcess(SYNCHRONIZE, FALSE, id);
    PostMessageA(frame, WM_CLOSE, 0, 0);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(browser, 10000)) << "the browser did not close";
    CloseHandle(browser);
}

class InstallCycle : public testing::Test {
protected:
    void SetUp() override
    {
        /* Above the programs' folder, which holds no program that imports comctl32. */
        installer = TestProgramFolder() + "\\..\\velmora-setup-" + (sizeof(void *) == 8 ? "x64" : "x86") + ".exe";
        ASSERT_TRUE(FileExists(installer)) << installer;
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root = std::string(temp) + "vm install " + std::to_string(GetCurrentProcessId());
        install = root + "\\Program Files\\Velmora";
        tempFolder = root + "\\Temp";
        CreateDirectoryA(root.c_str(), NULL);
        CreateDirectoryA(tempFolder.c_str(), NULL);
        CleanRegistry();
    }

    void TearDown() override
    {
        CleanRegistry();
        HKEY toolbar;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, 0, NULL, 0, KEY_WRITE, NULL, &toolbar, NULL) ==
            ERROR_SUCCESS)
            RegCloseKey(toolbar);
        const char *files[] = { "\\velmora.dll", "\\vmuninst.exe" };
        for (const char *file : files)
            DeleteFileA((install + file).c_str());
        RemoveDirectoryA(install.c_str());
        RemoveDirectoryA((root + "\\Program Files").c_str());
        DeleteUninstallerCopies(tempFolder);
        RemoveDirectoryA(tempFolder.c_str());
        RemoveDirectoryA(root.c_str());
    }

    static void CleanRegistry()
    {
        SHDeleteKeyA(HKEY_CLASSES_ROOT, CLASS_KEY);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY);
        SHDeleteValueA(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, TOOLBAR_VALUE);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
    }

    /* Runs a silent install to its end and returns its exit code, or
       STILL_ACTIVE when it showed a window (then listed in shown), which
       would hold a deployment until somebody answered it. */
    DWORD Install(std::string *shown)
    {
        DWORD id = 0;
        HANDLE process = StartProgram("\"" + installer + "\" /S /D=" + install, "", &id);
        if (!process)
            return GetLastError();
        PumpUntil([&] {
            *shown = WindowsShown(id);
            return !shown->empty() || WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        }, 60000);
        DWORD code = ExitCodeOnceEnded(process, 0);
        if (code == STILL_ACTIVE)
            TerminateProcess(process, 1);
        CloseHandle(process);
        CloseBrowser();
        return code;
    }

    /* Waits for the uninstaller's box with the given text, answers it with
       OK and returns the process that showed it (or NULL). */
    HANDLE AnswerUninstallerBox(UINT textId)
    {
        HWND box = NULL;
        PumpUntil([&] { return (box = FindBox(0, uninstallerTexts[0].c_str())) != NULL; }, 15000);
        if (!box)
            return NULL;
        EXPECT_EQ(uninstallerTexts[textId - IDS_CAPTION], BoxText(box));
        DWORD id = 0;
        GetWindowThreadProcessId(box, &id);
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, id);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        return process;
    }

    /* Runs the command line of the uninstall entry as the system's software
       panel would, with the scratch temporary folder, and confirms. */
    void Uninstall(const std::string &commandLine)
    {
        HMODULE strings = LoadLibraryExA((install + "\\vmuninst.exe").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, strings);
        for (UINT id = IDS_CAPTION; id <= IDS_REMOVED; id++) {
            char text[260] = "";
            LoadStringA(strings, id, text, sizeof(text));
            uninstallerTexts[id - IDS_CAPTION] = text;
        }
        FreeLibrary(strings);
        HANDLE first = StartProgram(commandLine, tempFolder);
        ASSERT_NE(nullptr, first) << commandLine;
        HANDLE confirmed = AnswerUninstallerBox(IDS_CONFIRM);
        ASSERT_NE(nullptr, confirmed) << "no confirmation";
        CloseHandle(confirmed);
        EXPECT_EQ(0u, ExitCodeOnceEnded(first, 15000));
        CloseHandle(first);
        HANDLE second = AnswerUninstallerBox(IDS_REMOVED);
        ASSERT_NE(nullptr, second) << "no report";
        EXPECT_EQ(0u, ExitCodeOnceEnded(second, 15000));
        CloseHandle(second);
    }

    std::string installer, root, install, tempFolder;
    std::string uninstallerTexts[3];
};

TEST_F(InstallCycle, SilentInstallRegistersAndItsUninstallEntryRemovesItAgain)
{
    Snapshot before = TakeSnapshot();
    std::string shown;
    ASSERT_EQ(0u, Install(&shown)) << "shown: " << shown;

    EXPECT_TRUE(FileExists(install + "\\velmora.dll"));
    Snapshot installed = RegistrationLines(install + "\\velmora.dll");
    std::string id = ReadText(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "RegisterGUID");
    EXPECT_EQ(38u, id.size()) << id;
    EXPECT_EQ(std::string::npos, id.find_first_not_of("{}-0123456789ABCDEF")) << id;
    BYTE date[16], dateAgain[16];
    DWORD size = sizeof(date);
    EXPECT_EQ(ERROR_SUCCESS, SHGetValueA(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallDate", NULL, date, &size));
    EXPECT_EQ("Velmora", ReadText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "DisplayName"));
    EXPECT_EQ("2.0", ReadText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "DisplayVersion"));
    EXPECT_EQ("Velmora", ReadText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "Publisher"));
    EXPECT_EQ(install + "\\vmuninst.exe,0", ReadText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "DisplayIcon"));
    std::string uninstallString = ReadText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "UninstallString");
    ASSERT_EQ("\"" + install + "\\vmuninst.exe\"", uninstallString);

    /* Installed again, the installation keeps its id and first date. */
    ASSERT_EQ(0u, Install(&shown)) << "shown: " << shown;
    EXPECT_EQ(id, ReadText(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "RegisterGUID"));
    size = sizeof(dateAgain);
    SHGetValueA(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallDate", NULL, dateAgain, &size);
    EXPECT_EQ(0, memcmp(date, dateAgain, sizeof(date)));

    Uninstall(uninstallString);
    EXPECT_FALSE(FileExists(install)) << "the folder stays";
    EXPECT_TRUE(HasValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "RegisterGUID"));
    EXPECT_TRUE(HasValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallDate"));
    EXPECT_EQ("", Differences(before, TakeSnapshot()));

    /* What the installer wrote is what the DLL's own registration writes. */
    ScratchModule scratch;
    ASSERT_TRUE(scratch.ok());
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
    ASSERT_EQ(0u, WriteRegistration());
    HRESULT init = CoInitialize(NULL);
    EXPECT_HR(S_OK, RegisterBandCategory());
    if (SUCCEEDED(init))
        CoUninitialize();
    EXPECT_EQ(RegistrationLines(scratch.folder() + "\\velmora.dll"), installed);
}

/* Without the browser's toolbar key the registration fails: a silent install
   says so in its exit code and keeps the entry that removes what it wrote. */
TEST_F(InstallCycle, WithoutTheBrowserTheInstallEndsWithAnError)
{
    ASSERT_EQ(ERROR_SUCCESS, SHDeleteKeyA(HKEY_LOCAL_MACHINE, TOOLBAR_KEY));
    std::string shown;
    EXPECT_EQ(2u, Install(&shown)) << "shown: " << shown;
    EXPECT_FALSE(HasValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "RegisterGUID")) << "the product key is skipped";
    EXPECT_EQ("\"" + install + "\\vmuninst.exe\"",
              ReadText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "UninstallString"));
}

/* Shown, the installer speaks the user's language; cancelled, it installs nothing. */
TEST_F(InstallCycle, TheInstallerSpeaksTheUsersLanguage)
{
    DWORD id = 0;
    HANDLE process = StartProgram("\"" + installer + "\" /D=" + install, "", &id);
    ASSERT_NE(nullptr, process);
    HWND window = NULL;
    PumpUntil([&] { return (window = FindBox(id, NULL)) != NULL; }, 15000);
    ASSERT_NE(nullptr, window) << "no installer window";
    char caption[260] = "";
    GetWindowTextA(window, caption, sizeof(caption));
    EXPECT_STREQ(ExpectedLanguage() == "de" ? "Installation von Velmora: Zielverzeichnis" : "Velmora Setup: Installation Folder", caption);
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_NE((DWORD)STILL_ACTIVE, ExitCodeOnceEnded(process, 15000));
    CloseHandle(process);
    EXPECT_FALSE(FileExists(install));
    EXPECT_FALSE(HasValue(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "UninstallString"));
}

/* Installed by a user, the toolbar shows once the browser starts again: the
   installer says so and opens no browser with its own administrator rights. */
TEST_F(InstallCycle, AnInteractiveInstallAsksForABrowserRestartAndOpensNone)
{
    DWORD id = 0;
    HANDLE process = StartProgram("\"" + installer + "\" /D=" + install, "", &id);
    ASSERT_NE(nullptr, process);
    HWND window = NULL, box = NULL;
    PumpUntil([&] { return (window = FindBox(id, NULL)) != NULL; }, 15000);
    ASSERT_NE(nullptr, window) << "no installer window";
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    PumpUntil([&] { return (box = FindBox(id, NULL, window)) != NULL || FindWindowA("IEFrame", NULL); }, 30000);
    ASSERT_NE(nullptr, box) << "shown: " << WindowsShown(id);
    WCHAR text[512] = L"";
    GetDlgItemTextW(box, 0xFFFF, text, 512);
    EXPECT_STREQ(ExpectedLanguage() == "de"
                     ? L"Velmora ist installiert. Schließen Sie alle Fenster des Internet Explorers und öffnen Sie ihn wieder, um die Leiste zu sehen."
                     : L"Velmora is installed. Close every Internet Explorer window and open it again to see the toolbar.",
                 text);
    EXPECT_EQ(nullptr, FindWindowA("IEFrame", NULL)) << "a browser was opened";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    PumpUntil([&] {
        if (IsWindowEnabled(GetDlgItem(window, IDOK)) && !FindBox(id, NULL, window))
            PostMessageA(window, WM_COMMAND, IDOK, 0);
        return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    }, 15000);
    EXPECT_EQ(0u, ExitCodeOnceEnded(process, 0));
    TerminateProcess(process, 1);
    CloseHandle(process);
    CloseBrowser();
    EXPECT_TRUE(HasValue(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, TOOLBAR_VALUE));
}

}  // namespace
