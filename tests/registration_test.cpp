/* Registration through the real DLL: what it writes, what it keeps, what it
   reports, and the browser window it opens: Wine's own, which cannot show
   browser bars, and the stand-in browser program, which can. */
#include "tests/support/http_server.h"
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>
#include <string>
#include "band/band.h"
#include "tests/support/scratch.h"
#include "tests/support/registry.h"
#include "tests/support/boxes.h"
#include "tests/support/hresult.h"
#include "ticker/ticker.h"
#include <vector>

namespace {


/* The system's title of a box shown without one, in the run's language. */
std::string DefaultBoxCaption()
{
    return ExpectedLanguage() == "de" ? "Fehler" : "Error";
}

class Registration : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scratch.ok());
        CleanRegistry();
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, 0, NULL, 0, KEY_WRITE, NULL,
                                                 &key, NULL));
        RegCloseKey(key);
    }
    void TearDown() override { CleanRegistry(); }

    static void CleanRegistry()
    {
        SHDeleteKeyA(HKEY_CLASSES_ROOT, CLASS_KEY);
        SHDeleteValueA(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, TOOLBAR_VALUE);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, PRODUCT_KEY);
    }

    HRESULT CallExport(const char *name)
    {
        auto entry = (HRESULT (STDAPICALLTYPE *)(void))(void (*)(void))GetProcAddress(scratch.module(), name);
        return entry ? entry() : E_NOTIMPL;
    }

    ScratchModule scratch;
};

TEST_F(Registration, WritesTheClassAndToolbarAndKeepsTheInstallationsIdAndDate)
{
    ASSERT_EQ(0u, WriteRegistration());
    EXPECT_EQ("Velmora", ReadText(HKEY_CLASSES_ROOT, CLASS_KEY, NULL));
    std::string server = std::string(CLASS_KEY) + "\\InprocServer32";
    EXPECT_EQ(scratch.folder() + "\\velmora.dll", ReadText(HKEY_CLASSES_ROOT, server, NULL));
    EXPECT_EQ("Apartment", ReadText(HKEY_CLASSES_ROOT, server, "ThreadingModel"));
    EXPECT_EQ("", ReadText(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, TOOLBAR_VALUE));
    std::string id = ReadText(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "RegisterGUID");
    ASSERT_EQ(38u, id.size()) << id;
    EXPECT_EQ('{', id[0]);
    EXPECT_EQ(std::string::npos, id.find_first_of("abcdef")) << "upper-case hexadecimal: " << id;
    SYSTEMTIME first, again;
    DWORD size = sizeof(first);
    ASSERT_EQ(ERROR_SUCCESS, SHGetValueA(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallDate", NULL, &first, &size));
    EXPECT_EQ(16u, size);

    /* A second registration rewrites the class but keeps id and date. */
    SHSetValueA(HKEY_CLASSES_ROOT, CLASS_KEY, NULL, REG_SZ, "stale", 6);
    Sleep(20);
    ASSERT_EQ(0u, WriteRegistration());
    EXPECT_EQ("Velmora", ReadText(HKEY_CLASSES_ROOT, CLASS_KEY, NULL));
    EXPECT_EQ(id, ReadText(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "RegisterGUID"));
    size = sizeof(again);
    ASSERT_EQ(ERROR_SUCCESS, SHGetValueA(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallDate", NULL, &again, &size));
    EXPECT_EQ(0, memcmp(&first, &again, sizeof(first)));

    /* An id too long to be one of ours is replaced. */
    std::string longId(60, 'X');
    SHSetValueA(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "RegisterGUID", REG_SZ, longId.c_str(), (DWORD)longId.size() + 1);
    ASSERT_EQ(0u, WriteRegistration());
    EXPECT_EQ(38u, ReadText(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "RegisterGUID").size());

    EXPECT_HR(S_OK, CallExport("DllUnregisterServer"));
    EXPECT_EQ("Velmora", ReadText(HKEY_CLASSES_ROOT, CLASS_KEY, NULL)) << "unregistering changes nothing";
    EXPECT_TRUE(HasValue(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, TOOLBAR_VALUE));
}

/* Without the browser's toolbar key nothing can show the band: the caller
   is told, and no browser window is opened. */
TEST_F(Registration, WithoutTheToolbarKeyTheFailureIsReturned)
{
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, TOOLBAR_KEY);
    EXPECT_HR(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), CallExport("DllRegisterServer"));
    EXPECT_EQ(scratch.folder() + "\\velmora.dll",
              ReadText(HKEY_CLASSES_ROOT, std::string(CLASS_KEY) + "\\InprocServer32", NULL));
    EXPECT_FALSE(HasValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "RegisterGUID")) << "the product key is skipped";
    EXPECT_EQ(nullptr, FindWindowA("IEFrame", NULL));
}

/* Wine's browser cannot show browser bars: the registration is written all
   the same, the system's text is shown, and the result is success. */
TEST_F(Registration, ABrowserWithoutBarsIsReportedInABox)
{
    BoxWatcher answer;
    EXPECT_HR(S_OK, CallExport("DllRegisterServer"));
    char expected[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, NULL, (DWORD)E_NOTIMPL, 0, expected, sizeof(expected), NULL);
    EXPECT_EQ(std::string(expected), answer.Text());
    /* Wine's browser process stays after its last reference. */
    EXPECT_NE(nullptr, FindWindowA("IEFrame", NULL));
    CloseBrowserFrames();
    EXPECT_TRUE(HasValue(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, TOOLBAR_VALUE));
    HKEY category;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CLASSES_ROOT, (std::string(CLASS_KEY) +
        "\\Implemented Categories\\{00021493-0000-0000-C000-000000000046}").c_str(), 0, KEY_READ, &category));
    RegCloseKey(category);
}

const char BROWSER_SERVER_KEY[] = "CLSID\\{0002DF01-0000-0000-C000-000000000046}\\LocalServer32";
const char STANDIN_FRAME[] = "velmora stand-in browser frame";
const int STANDIN_TAB_WIDTH = 160;

/* The stand-in browser program is the browser's local server while the
   test runs; Wine's own comes back afterwards. */
class BrowserRegistration : public Registration {
protected:
    void SetUp() override
    {
        Registration::SetUp();
        previousServer = ReadText(HKEY_CLASSES_ROOT, BROWSER_SERVER_KEY, NULL);
        std::string program = TestProgramFolder() + "\\..\\tools\\standin_browser.exe";
        ASSERT_EQ(ERROR_SUCCESS, SHSetValueA(HKEY_CLASSES_ROOT, BROWSER_SERVER_KEY, NULL, REG_SZ,
                                             program.c_str(), (DWORD)program.size() + 1));
        ASSERT_TRUE(server.Start());
        std::string feed = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>t</title>";
        for (int i = 1; i <= 3; i++)
            feed += "<item><title>WWWWWWWW headline " + std::to_string(i) + "</title></item>";
        server.Serve("/feed", feed + "</channel></rss>");
        scratch.WriteSettings("[Servers]\r\nServers=" + server.Url("/feed") + ";\r\nshow=" +
                              server.Url("/feed") + "\r\n");
    }
    void TearDown() override
    {
        /* A scenario that stopped half-way leaves no browser behind. */
        HWND frame = FindWindowA(STANDIN_FRAME, NULL);
        DWORD id = 0;
        GetWindowThreadProcessId(frame, &id);
        HANDLE browser = frame ? OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id) : NULL;
        if (browser) {
            PostMessageA(frame, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(browser, 10000) != WAIT_OBJECT_0)
                TerminateProcess(browser, 1);
            CloseHandle(browser);
        }
        if (previousServer == "<missing>")
            SHDeleteKeyA(HKEY_CLASSES_ROOT, BROWSER_SERVER_KEY);
        else
            SHSetValueA(HKEY_CLASSES_ROOT, BROWSER_SERVER_KEY, NULL, REG_SZ, previousServer.c_str(),
                        (DWORD)previousServer.size() + 1);
        server.Stop();
        Registration::TearDown();
    }

    std::string previousServer;
    LoopbackServer server;
};

/* Runs the real regsvr32 on the scratch DLL; its exit code. */
DWORD RunRegsvr32(const std::string &dll)
{
    std::string line = "regsvr32.exe \"" + dll + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return GetLastError();
    DWORD code = WAIT_TIMEOUT;
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

/* GetWindowText does not ask another process's edit control. */
std::string WindowText(HWND window)
{
    char text[1024] = "";
    DWORD_PTR length = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &length);
    return text;
}

BOOL CALLBACK FindVisibleTicker(HWND child, LPARAM out)
{
    char name[64] = "";
    GetClassNameA(child, name, sizeof(name));
    if (strcmp(name, TICKER_WINDOW_CLASS) == 0 && IsWindowVisible(child))
        *(HWND *)out = child;
    return TRUE;
}

/* The visible ticker window inside frame, if any. */
HWND VisibleTicker(HWND frame)
{
    HWND found = NULL;
    EnumChildWindows(frame, FindVisibleTicker, (LPARAM)&found);
    return found;
}

/* Black headline text on the white row, in a different place each read. */
::testing::AssertionResult Scrolls(HWND ticker)
{
    std::vector<DWORD> first, now;
    int text = 0, back = 0;
    bool moved = PumpUntil([&] {
        now = WindowPixels(ticker, true);  /* another process's window, as shown */
        text = back = 0;
        for (DWORD p : now) {
            text += (p & 0xFFFFFF) == 0x000000;
            back += (p & 0xFFFFFF) == 0xFFFFFF;
        }
        if (text < 100 || back < 1000)
            return false;
        if (first.empty())
            first = now;
        return now != first;
    }, 15000);
    if (moved)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "text pixels " << text << ", background pixels " << back
                                         << ", moved " << (!first.empty() && now != first);
}

TEST_F(BrowserRegistration, Regsvr32ShowsTheScrollingBandInTheStandInBrowser)
{
    ASSERT_EQ(0u, RunRegsvr32(scratch.folder() + "\\velmora.dll"));
    HWND frame = FindWindowA(STANDIN_FRAME, NULL);
    ASSERT_NE(nullptr, frame) << "no browser window";
    DWORD id = 0;
    GetWindowThreadProcessId(frame, &id);
    HANDLE browser = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, id);
    EXPECT_TRUE(IsWindowVisible(frame));
    char foreground[64] = "";
    GetClassNameA(GetForegroundWindow(), foreground, sizeof(foreground));
    EXPECT_EQ(frame, GetForegroundWindow()) << "the ticker scrolls only in the foreground window, not in "
                                            << foreground << " (" << WindowText(GetForegroundWindow()) << ")";
    HWND address = FindWindowExA(frame, NULL, "Edit", NULL);
    EXPECT_EQ("http://velmora.example.com/support.html", WindowText(address));
    HWND ticker = VisibleTicker(frame);
    ASSERT_NE(nullptr, ticker) << "no band shown";
    EXPECT_TRUE(Scrolls(ticker));
    EXPECT_GT(server.Requests("/feed"), 0);

    /* The about page shows the version and the browser stays where it was. */
    {
        BoxWatcher answer(DefaultBoxCaption().c_str());
        SendMessageA(address, WM_SETTEXT, 0, (LPARAM)"about:velmora");
        PostMessageA(address, WM_KEYDOWN, VK_RETURN, 0);
        EXPECT_NE(std::string::npos, answer.Text().find("2009-07-09")) << answer.Text();
    }
    EXPECT_TRUE(PumpUntil([&] { return WindowText(address) == "http://velmora.example.com/support.html"; },
                          5000)) << WindowText(address);

    /* The second tab's band takes the ticker; the first one's is hidden. */
    HWND tabs = FindWindowExA(frame, NULL, "SysTabControl32", NULL);
    PostMessageA(tabs, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(STANDIN_TAB_WIDTH * 3 / 2, 10));
    PostMessageA(tabs, WM_LBUTTONUP, 0, MAKELPARAM(STANDIN_TAB_WIDTH * 3 / 2, 10));
    EXPECT_TRUE(PumpUntil([&] { return VisibleTicker(frame) && VisibleTicker(frame) != ticker; }, 5000));
    HWND second = VisibleTicker(frame);
    if (second) {
        EXPECT_TRUE(Scrolls(second));
    }
    EXPECT_FALSE(IsWindowVisible(ticker));

    /* Closing the window lets the bands go; the exit code says how it went. */
    PostMessageA(frame, WM_CLOSE, 0, 0);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(browser, 20000));
    DWORD code = 99;
    GetExitCodeProcess(browser, &code);
    EXPECT_EQ(0u, code) << "1: a band's last Release was not 0; 2: the DLL could not unload";
    CloseHandle(browser);
}

}  // namespace
