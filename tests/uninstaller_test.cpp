/* The uninstaller: its command line, and the real two-process removal in a
   scratch installation and temporary folder with spaces in their paths. */
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>
#include <shellapi.h>
#include <algorithm>
#include <errno.h>
#include <random>
#include <string>
#include "uninstaller/uninstaller.h"
#include "uninstaller/resource.h"
#include "tests/support/scratch.h"
#include "tests/support/registry.h"
#include "tests/support/boxes.h"
#include <string.h>

namespace {

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
        { "vmuninst.exe 92    ", RELAUNCH_ABSENT, 0, "" },
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

std::string Narrow(const WCHAR *wide)
{
    std::string text;
    for (; *wide; wide++)
        text += (char)*wide;
    return text;
}

/* The words of a path, one space between each, as the system splits them. */
std::string Words(const std::string &text)
{
    std::string words;
    for (size_t at = text.find_first_not_of(' '); at != std::string::npos;
         at = text.find_first_not_of(' ', at)) {
        size_t end = std::min(text.find(' ', at), text.size());
        words += (words.empty() ? "" : " ") + text.substr(at, end - at);
        at = end;
    }
    return words;
}

/* Random lines of the kind a process is started with, read by the parser and
   by the system's own splitting: a relaunch has the system's second argument
   as its handle and the words of the rest as its path. */
TEST(UninstallerCommandLine, ReadsRandomLinesAsTheSystemSplitsThem)
{
    std::mt19937 random(20091207);
    const char *programs[] = { "vmuninst.exe", "\"C:\\Temp Dir\\vmu1.tmp\"", "C:\\Temp\\vmu1.tmp" };
    const char alphabet[] = " 0197ax\\";
    for (int n = 0; n < 5000; n++) {
        std::string line = programs[random() % 3];
        int length = (int)(random() % 24) + (random() % 50 == 0 ? UNINSTALL_PATH_SIZE : 0);
        for (int i = 0; i < length; i++)
            line += alphabet[random() % (sizeof(alphabet) - 1)];
        std::wstring wide(line.begin(), line.end());
        int count = 0;
        LPWSTR *arguments = CommandLineToArgvW(wide.c_str(), &count);
        ASSERT_NE(nullptr, arguments);
        std::string handleWord = count > 1 ? Narrow(arguments[1]) : "", rest;
        for (int i = 2; i < count; i++)
            rest += (i > 2 ? " " : "") + Narrow(arguments[i]);
        LocalFree(arguments);
        errno = 0;
        unsigned long long value = strtoull(handleWord.c_str(), NULL, 10);
        bool isHandle = !handleWord.empty() && handleWord.size() <= 20 &&
                        handleWord.find_first_not_of("0123456789") == std::string::npos && errno == 0 &&
                        value == (ULONG_PTR)value;

        ULONG_PTR handle = 0;
        char path[UNINSTALL_PATH_SIZE];
        RelaunchShape shape = ParseRelaunchCommandLine(line.c_str(), &handle, path);
        if (!isHandle || rest.empty()) {
            ASSERT_EQ(RELAUNCH_ABSENT, shape) << "[" << line << "]";
        } else if (shape == RELAUNCH_REFUSED) {
            ASSERT_GE(line.size(), (size_t)UNINSTALL_PATH_SIZE) << "[" << line << "]";
        } else {
            ASSERT_EQ(RELAUNCH_PRESENT, shape) << "[" << line << "]";
            ASSERT_EQ(value, handle) << "[" << line << "]";
            ASSERT_EQ(rest, Words(path)) << "[" << line << "]";
        }
    }
}

/* The DLL's path is made from the folder: a folder too long for the buffer
   gives no path, never one that runs past it. */
TEST(UninstallerCommandLine, FolderAndFileNameAreJoinedWithinTheBuffer)
{
    const struct { int folder; bool fits; } cases[] = {
        { 3, true }, { UNINSTALL_PATH_SIZE - 13, true }, { UNINSTALL_PATH_SIZE - 12, false },
        { UNINSTALL_PATH_SIZE - 1, false } };
    for (const auto &c : cases) {
        std::string folder = "C:\\" + std::string(c.folder - 3, 'f');
        char buffer[UNINSTALL_PATH_SIZE + 32];
        memset(buffer, '#', sizeof(buffer));
        EXPECT_EQ(c.fits, JoinPath(buffer, UNINSTALL_PATH_SIZE, folder.c_str(), "velmora.dll") != FALSE) << c.folder;
        EXPECT_EQ(c.fits ? folder + "\\velmora.dll" : "", std::string(buffer)) << c.folder;
        EXPECT_EQ(std::string(32, '#'), std::string(buffer + UNINSTALL_PATH_SIZE, 32)) << "past the buffer: " << c.folder;
    }
}

void SetValue(HKEY root, const std::string &key, const char *name, const std::string &value)
{
    HKEY opened;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, key.c_str(), 0, NULL, 0, KEY_WRITE, NULL, &opened, NULL)) << key;
    RegSetValueExA(opened, name, 0, REG_SZ, (const BYTE *)value.c_str(), (DWORD)value.size() + 1);
    RegCloseKey(opened);
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
        RemoveDanglingLink(HKEY_CLASSES_ROOT, stuck);
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
        return StartProgram("\"" + uninstaller + "\"", tempFolder);
    }

    /* The uninstaller's visible box, once its text is the given one; the
       search ends early when the given process has ended. */
    HWND WaitForBox(int text, HANDLE process = NULL)
    {
        HWND box = NULL;
        PumpUntil([&] {
            box = FindBox(0, caption.c_str());
            return (box && texts[text] == BoxText(box)) ||
                   (process && WaitForSingleObject(process, 0) == WAIT_OBJECT_0);
        }, 15000);
        return box;
    }

    static DWORD ExitCodeOnceEnded(HANDLE process)
    {
        return ::ExitCodeOnceEnded(process, 15000);
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

    const std::string stuck = std::string(CLASS_KEY) + "\\Stuck";
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

/* A registry entry that cannot be deleted: the user is told, the files and
   the uninstall entry stay, and that entry's second run removes everything
   once the obstacle is gone. */
TEST_F(UninstallerCycle, ARefusedRemovalKeepsTheEntryForASecondTry)
{
    ASSERT_TRUE(AddDanglingLink(HKEY_CLASSES_ROOT, stuck));
    bool removedBeforeReport = true;
    DWORD firstCode = 1, secondCode = 1;
    RunConfirmed(&removedBeforeReport, &firstCode, &secondCode, 2);
    EXPECT_EQ(0u, firstCode);
    EXPECT_EQ(0u, secondCode);
    EXPECT_TRUE(FileExists(uninstaller));
    EXPECT_TRUE(FileExists(install + "\\velmora.dll"));
    EXPECT_EQ(uninstaller, ReadText(HKEY_LOCAL_MACHINE, UNINSTALL_KEY, "UninstallString"));

    RemoveDanglingLink(HKEY_CLASSES_ROOT, stuck);
    RunConfirmed(&removedBeforeReport, &firstCode, &secondCode);
    EXPECT_TRUE(removedBeforeReport);
    EXPECT_FALSE(FileExists(install));
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
