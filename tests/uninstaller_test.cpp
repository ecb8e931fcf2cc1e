/* The uninstaller: its command line, and the real two-process removal in a
   scratch installation and temporary folder with spaces in their paths. */
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>
#include <random>
#include <string>
#include "uninstaller/uninstaller.h"
#include "uninstaller/resource.h"
#include "tests/support/scratch.h"
#include "tests/support/registry.h"
#include "tests/support/import_slot.h"
#include "tests/support/box_answer.h"
#include <string.h>

namespace {

/* A second reading of the relaunch shape, written plainly, to compare with. */
RelaunchShape ReferenceShape(const std::string &line, ULONG_PTR *handle, std::string *path)
{
    std::string rest;
    if (!line.empty() && line[0] == '"') {
        size_t end = line.find('"', 1);
        if (end == std::string::npos || end + 1 >= line.size())
            return RELAUNCH_ABSENT;
        rest = line.substr(end + 1);
    } else {
        size_t end = line.size() > 1 ? line.find(' ', 1) : std::string::npos;
        if (end == std::string::npos)
            return RELAUNCH_ABSENT;
        rest = line.substr(end);
    }
    rest.erase(0, rest.find_first_not_of(' ') == std::string::npos ? rest.size() : rest.find_first_not_of(' '));
    size_t space = rest.find(' ');
    if (space == std::string::npos || space == 0 || space > 20 || space + 1 >= rest.size())
        return RELAUNCH_ABSENT;
    std::string digits = rest.substr(0, space);
    if (digits.find_first_not_of("0123456789") != std::string::npos)
        return RELAUNCH_ABSENT;
    unsigned long long value = 0;
    for (char c : digits) {
        if (value > (~0ull - (c - '0')) / 10)
            return RELAUNCH_ABSENT;
        value = value * 10 + (c - '0');
    }
    if (value > (ULONG_PTR)~(ULONG_PTR)0)
        return RELAUNCH_ABSENT;
    *handle = (ULONG_PTR)value;
    *path = rest.substr(space + 1);
    return path->size() >= UNINSTALL_PATH_SIZE ? RELAUNCH_REFUSED : RELAUNCH_PRESENT;
}

struct LineCase {
    const char *line;
    RelaunchShape shape;
    ULONG_PTR handle;
    const char *path;
};

TEST(UninstallerCommandLine, RelaunchShapes)
{
    const LineCase cases[] = {
        { "\"C:\\Temp Dir\\vmu1.tmp\" 92 C:\\Program Files\\Velmora\\vmuninst.exe", RELAUNCH_PRESENT, 92,
          "C:\\Program Files\\Velmora\\vmuninst.exe" },
        { "C:\\Temp\\vmu1.tmp 4000000000 C:\\a b\\vmuninst.exe", RELAUNCH_PRESENT, 4000000000u, "C:\\a b\\vmuninst.exe" },
        { "vmuninst.exe    7 C:\\x", RELAUNCH_PRESENT, 7, "C:\\x" },
        { "vmuninst.exe 007 x", RELAUNCH_PRESENT, 7, "x" },
        { "", RELAUNCH_ABSENT, 0, "" },
        { "vmuninst.exe", RELAUNCH_ABSENT, 0, "" },
        { "\"C:\\Program Files\\Velmora\\vmuninst.exe\"", RELAUNCH_ABSENT, 0, "" },
        { "vmuninst.exe 92", RELAUNCH_ABSENT, 0, "" },
        { "vmuninst.exe 92 ", RELAUNCH_ABSENT, 0, "" },
        { "vmuninst.exe /S C:\\x", RELAUNCH_ABSENT, 0, "" },
        { "vmuninst.exe 9a C:\\x", RELAUNCH_ABSENT, 0, "" },
        { "vmuninst.exe 123456789012345678901 C:\\x", RELAUNCH_ABSENT, 0, "" },
        { "\"unterminated 92 C:\\x", RELAUNCH_ABSENT, 0, "" },
    };
    for (const LineCase &c : cases) {
        ULONG_PTR handle = 1;
        char path[UNINSTALL_PATH_SIZE];
        EXPECT_EQ(c.shape, ParseRelaunchCommandLine(c.line, &handle, path)) << c.line;
        EXPECT_EQ(c.handle, handle) << c.line;
        EXPECT_STREQ(c.path, path) << c.line;
    }
    /* A path that does not fit is refused whole, never cut into another path. */
    ULONG_PTR handle;
    char path[UNINSTALL_PATH_SIZE];
    std::string fits = "x 5 C:\\" + std::string(UNINSTALL_PATH_SIZE - 4, 'a');
    EXPECT_EQ(RELAUNCH_PRESENT, ParseRelaunchCommandLine(fits.c_str(), &handle, path));
    EXPECT_EQ(RELAUNCH_REFUSED, ParseRelaunchCommandLine((fits + "b").c_str(), &handle, path));
    EXPECT_STREQ("", path);
}

TEST(UninstallerCommandLine, WhatIsFormattedReadsBackExactly)
{
    const ULONG_PTR handles[] = { 0, 7, 92, 65535, 4294967295u, ~(ULONG_PTR)0 };
    for (ULONG_PTR value : handles) {
        char line[RELAUNCH_LINE_SIZE];
        ASSERT_TRUE(FormatRelaunchCommandLine(line, "C:\\Documents and Settings\\u\\Temp\\vmu3.tmp", value,
                                              "C:\\Program Files\\Velmora\\vmuninst.exe"));
        ULONG_PTR handle = 0;
        char path[UNINSTALL_PATH_SIZE];
        EXPECT_EQ(RELAUNCH_PRESENT, ParseRelaunchCommandLine(line, &handle, path)) << line;
        EXPECT_EQ(value, handle) << line;
        EXPECT_STREQ("C:\\Program Files\\Velmora\\vmuninst.exe", path);
    }
    char line[RELAUNCH_LINE_SIZE];
    std::string longPath = "C:\\" + std::string(UNINSTALL_PATH_SIZE - 5, 'p');
    EXPECT_FALSE(FormatRelaunchCommandLine(line, longPath.c_str(), 92, longPath.c_str()));
}

TEST(UninstallerCommandLine, AgreesWithAPlainReadingOnRandomLines)
{
    std::mt19937 random(20091207);
    const char alphabet[] = "\" 0197ax\\";
    for (int n = 0; n < 20000; n++) {
        std::string line;
        int length = (int)(random() % 24);
        if (random() % 50 == 0)
            length += UNINSTALL_PATH_SIZE;
        for (int i = 0; i < length; i++)
            line += alphabet[random() % (sizeof(alphabet) - 1)];
        ULONG_PTR wantHandle = 0, handle = 0;
        std::string wantPath;
        char path[UNINSTALL_PATH_SIZE];
        RelaunchShape want = ReferenceShape(line, &wantHandle, &wantPath);
        ASSERT_EQ(want, ParseRelaunchCommandLine(line.c_str(), &handle, path)) << "[" << line << "]";
        if (want == RELAUNCH_PRESENT) {
            ASSERT_EQ(wantHandle, handle) << "[" << line << "]";
            ASSERT_EQ(wantPath, std::string(path)) << "[" << line << "]";
        }
    }
}

bool refuseUninstallKey;

/* The program's SHDeleteKeyA: refuses the uninstall entry when asked to. */
DWORD WINAPI RefusingDeleteKey(HKEY root, const char *key)
{
    if (refuseUninstallKey && strstr(key, "Uninstall\\velmora"))
        return ERROR_ACCESS_DENIED;
    /* The slot is this function itself: the real one comes from shlwapi. */
    auto real = (DWORD (WINAPI *)(HKEY, const char *))(void (*)(void))GetProcAddress(
        LoadLibraryA("shlwapi.dll"), "SHDeleteKeyA");
    return real ? real(root, key) : ERROR_PROC_NOT_FOUND;
}


void SetValue(HKEY root, const std::string &key, const char *name, const std::string &value)
{
    HKEY opened;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, key.c_str(), 0, NULL, 0, KEY_WRITE, NULL, &opened, NULL)) << key;
    RegSetValueExA(opened, name, 0, REG_SZ, (const BYTE *)value.c_str(), (DWORD)value.size() + 1);
    RegCloseKey(opened);
}

struct BoxSearch {
    const std::string *caption;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM lParam)
{
    BoxSearch *search = (BoxSearch *)lParam;
    char name[64], text[260];
    if (!IsWindowVisible(window) || !GetClassNameA(window, name, sizeof(name)) || lstrcmpA(name, "#32770") != 0)
        return TRUE;
    GetWindowTextA(window, text, sizeof(text));
    if (*search->caption != text)
        return TRUE;
    search->found = window;
    return FALSE;
}

/* A scratch installation: the uninstaller and a DLL in a folder with spaces,
   the band's registry entries, and a temporary folder with spaces that the
   uninstaller's processes use. */
class UninstallerCycle : public testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root = std::string(temp) + "vm cycle " + std::to_string(GetCurrentProcessId());
        install = root + "\\Program Files";
        tempFolder = root + "\\Local Settings";
        CreateDirectoryA(root.c_str(), NULL);
        CreateDirectoryA(install.c_str(), NULL);
        install += "\\Velmora";
        CreateDirectoryA(install.c_str(), NULL);
        CreateDirectoryA(tempFolder.c_str(), NULL);
        uninstaller = install + "\\vmuninst.exe";
        ASSERT_TRUE(CopyFileA((TestProgramFolder() + "\\vmuninst.exe").c_str(), uninstaller.c_str(), FALSE));
        WriteWholeFile(install + "\\velmora.dll", "not really a DLL");
        SetValue(HKEY_CLASSES_ROOT, std::string(CLASS_KEY) + "\\InprocServer32", NULL, install + "\\velmora.dll");
        SetValue(HKEY_CLASSES_ROOT, std::string(CLASS_KEY) +
                 "\\Implemented Categories\\{00021493-0000-0000-C000-000000000046}", NULL, "");
        SetValue(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "UninstallString", uninstaller);
        SetValue(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, TOOLBAR_VALUE, "");
        SetValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "RegisterGUID", "{00000000-0000-0000-0000-000000000001}");
        HMODULE strings = LoadLibraryExA(uninstaller.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        char text[260];
        LoadStringA(strings, IDS_CAPTION, text, sizeof(text));
        caption = text;
        UINT ids[] = { IDS_CONFIRM, IDS_REMOVED, IDS_NOT_REMOVED };
        for (int i = 0; i < 3; i++) {
            LoadStringA(strings, ids[i], text, sizeof(text));
            texts[i] = text;
        }
        FreeLibrary(strings);
    }

    void TearDown() override
    {
        DeleteUninstallerCopies(tempFolder);
        DeleteFileA(uninstaller.c_str());
        DeleteFileA((install + "\\velmora.dll").c_str());
        DeleteFileA((install + "\\serverlist").c_str());
        RemoveDirectoryA(install.c_str());
        RemoveDirectoryA((root + "\\Program Files").c_str());
        RemoveDirectoryA(tempFolder.c_str());
        RemoveDirectoryA(root.c_str());
        SHDeleteKeyA(HKEY_CLASSES_ROOT, CLASS_KEY);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, UNINSTALL_KEY);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
    }

    /* Starts the uninstaller as a user would, with the scratch temporary folder. */
    HANDLE Start()
    {
        char saved[MAX_PATH] = "";
        GetEnvironmentVariableA("TMP", saved, sizeof(saved));
        SetEnvironmentVariableA("TMP", tempFolder.c_str());
        std::string line = "\"" + uninstaller + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        BOOL started = CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process);
        SetEnvironmentVariableA("TMP", saved);
        if (!started)
            return NULL;
        CloseHandle(process.hThread);
        return process.hProcess;
    }

    /* The uninstaller's visible box, once its text is the given one; the
       search ends early when the given process has ended. */
    HWND WaitForBox(int text, HANDLE process = NULL)
    {
        BoxSearch search = { &caption, NULL };
        PumpUntil([&] {
            search.found = NULL;
            EnumWindows(FindBox, (LPARAM)&search);
            char shown[260] = "";
            if (search.found)
                GetDlgItemTextA(search.found, 0xFFFF, shown, sizeof(shown));
            return (search.found && texts[text] == shown) ||
                   (process && WaitForSingleObject(process, 0) == WAIT_OBJECT_0);
        }, 15000);
        return search.found;
    }

    static DWORD ExitCodeOnceEnded(HANDLE process)
    {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process, 15000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process, &code);
        return code;
    }

    bool NothingRemoved()
    {
        return FileExists(uninstaller) && FileExists(install + "\\velmora.dll") &&
               KeyExists(HKEY_CLASSES_ROOT, CLASS_KEY) && KeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_KEY) &&
               HasValue(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, TOOLBAR_VALUE);
    }

    /* Answers the question with OK, then the report (of the given text), and
       returns what was removed when the report showed and both exit codes. */
    void RunConfirmed(bool *removedBeforeReport, DWORD *firstCode, DWORD *secondCode, int reportText = 1)
    {
        HANDLE first = Start();
        ASSERT_NE(nullptr, first);
        HWND box = WaitForBox(0);
        ASSERT_NE(nullptr, box) << "no confirmation";
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        *firstCode = ExitCodeOnceEnded(first);
        CloseHandle(first);
        HWND report = WaitForBox(reportText);
        ASSERT_NE(nullptr, report) << "no report: " << texts[reportText];
        *removedBeforeReport = !FileExists(uninstaller) && !KeyExists(HKEY_CLASSES_ROOT, CLASS_KEY) &&
                               !KeyExists(HKEY_LOCAL_MACHINE, UNINSTALL_KEY) && !HasValue(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, TOOLBAR_VALUE) &&
                               FileExists(install + "\\velmora.dll");
        DWORD secondId = 0;
        GetWindowThreadProcessId(report, &secondId);
        HANDLE second = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, secondId);
        ASSERT_NE(nullptr, second);
        PostMessageA(report, WM_COMMAND, IDOK, 0);
        *secondCode = ExitCodeOnceEnded(second);
        CloseHandle(second);
    }

    std::string root, install, tempFolder, uninstaller, caption;
    std::string texts[3];
};

TEST_F(UninstallerCycle, CancelRemovesNothing)
{
    HANDLE first = Start();
    ASSERT_NE(nullptr, first);
    HWND box = WaitForBox(0);
    ASSERT_NE(nullptr, box) << "no confirmation";
    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(0u, ExitCodeOnceEnded(first));
    CloseHandle(first);
    EXPECT_TRUE(NothingRemoved());
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((tempFolder + "\\*.tmp").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, find) << "a copy was made: " << found.cFileName;
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
}

TEST_F(UninstallerCycle, OkRemovesEverythingButTheSettingsAndTheProductKey)
{
    WriteWholeFile(install + "\\serverlist", "[Servers]\r\n");
    bool removedBeforeReport = false;
    DWORD firstCode = 1, secondCode = 1;
    RunConfirmed(&removedBeforeReport, &firstCode, &secondCode);
    EXPECT_TRUE(removedBeforeReport) << "the report comes after the registry, before the DLL";
    EXPECT_EQ(0u, firstCode);
    EXPECT_EQ(0u, secondCode);
    EXPECT_FALSE(FileExists(install + "\\velmora.dll"));
    EXPECT_TRUE(FileExists(install + "\\serverlist")) << "the settings keep the folder";
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, PRODUCT_KEY));
}

TEST_F(UninstallerCycle, WithoutSettingsTheFolderGoesToo)
{
    bool removedBeforeReport = false;
    DWORD firstCode = 1, secondCode = 1;
    RunConfirmed(&removedBeforeReport, &firstCode, &secondCode);
    EXPECT_TRUE(removedBeforeReport);
    EXPECT_EQ(0u, secondCode);
    EXPECT_FALSE(FileExists(install));
}

/* A registry entry that may not be deleted: the user is told, and what is
   still registered keeps its DLL. Wine grants every registry access whatever
   a key's security says, so the refusal comes from the import slot below. */
TEST_F(UninstallerCycle, AnEntryThatCannotBeRemovedIsReportedAndTheDllStays)
{
    refuseUninstallKey = true;
    BoxAnswer answer(caption);
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, RemoveToolbar(install.c_str()));
    refuseUninstallKey = false;
    EXPECT_EQ(texts[2], answer.Text());
    EXPECT_TRUE(FileExists(install + "\\velmora.dll"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, CLASS_KEY)) << "the other entries still go";
}

/* A line of the relaunch shape whose handle is no process: here a signalled
   event the started program inherits. */
TEST_F(UninstallerCycle, ARelaunchLineWithoutAProcessHandleRemovesNothing)
{
    SECURITY_ATTRIBUTES inherit = { sizeof(inherit), NULL, TRUE };
    HANDLE event = CreateEventA(&inherit, TRUE, TRUE, NULL);
    ASSERT_NE(nullptr, event);
    std::string line = "\"" + TestProgramFolder() + "\\vmuninst.exe\" " +
                       std::to_string((ULONG_PTR)event) + " " + uninstaller;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process));
    CloseHandle(process.hThread);
    HWND report = WaitForBox(1, process.hProcess);
    if (report)
        PostMessageA(report, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(0u, ExitCodeOnceEnded(process.hProcess));
    CloseHandle(process.hProcess);
    CloseHandle(event);
    EXPECT_TRUE(NothingRemoved());
}

}  // namespace

extern "C" {
void *importSHDeleteKeyA IMPORT_SLOT(SHDeleteKeyA, 8) = (void *)RefusingDeleteKey;
}
