/* Registration through the real DLL: what it writes, what it keeps, what it
   reports, and the browser window it opens (Wine's own, which cannot show
   browser bars). */
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>
#include <string>
#include "band/band.h"
#include "tests/support/scratch.h"
#include "tests/support/box_answer.h"

namespace {

const char CLASS_KEY[] = "CLSID\\{3C5B9E21-7D4A-4F06-9B3E-2A61C8D0F5B7}";
const char TOOLBAR_KEY[] = "Software\\Microsoft\\Internet Explorer\\Toolbar";
const char TOOLBAR_VALUE[] = "{3C5B9E21-7D4A-4F06-9B3E-2A61C8D0F5B7}";
const char PRODUCT_KEY[] = "Software\\Velmora";

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

    EXPECT_EQ(S_OK, CallExport("DllUnregisterServer"));
    EXPECT_EQ("Velmora", ReadText(HKEY_CLASSES_ROOT, CLASS_KEY, NULL)) << "unregistering changes nothing";
    EXPECT_TRUE(HasValue(HKEY_LOCAL_MACHINE, TOOLBAR_KEY, TOOLBAR_VALUE));
}

/* Without the browser's toolbar key nothing can show the band: the caller
   is told, and no browser window is opened. */
TEST_F(Registration, WithoutTheToolbarKeyTheFailureIsReturned)
{
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, TOOLBAR_KEY);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), CallExport("DllRegisterServer"));
    EXPECT_EQ(scratch.folder() + "\\velmora.dll",
              ReadText(HKEY_CLASSES_ROOT, std::string(CLASS_KEY) + "\\InprocServer32", NULL));
    EXPECT_FALSE(HasValue(HKEY_LOCAL_MACHINE, PRODUCT_KEY, "RegisterGUID")) << "the product key is skipped";
    EXPECT_EQ(nullptr, FindWindowA("IEFrame", NULL));
}

/* Wine's browser cannot show browser bars: the registration is written all
   the same, the system's text is shown, and the result is success. */
TEST_F(Registration, ABrowserWithoutBarsIsReportedInABox)
{
    BoxAnswer answer("");
    EXPECT_EQ(S_OK, CallExport("DllRegisterServer"));
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

}  // namespace
