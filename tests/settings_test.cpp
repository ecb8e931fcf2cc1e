/* The settings file beside the DLL and the server-list walks. */
#include <gtest/gtest.h>
#include <climits>
#include <windows.h>
#include <stdlib.h>
#include <string>
#include <vector>
#include "settings/settings.h"
#include "ticker/ticker.h"
#include "band/band.h"
#include "tests/support/scratch.h"
#include "tests/support/hresult.h"

namespace {

struct LoadedBand {
    BandState band = {};
    std::vector<char> list = std::vector<char>(SERVER_LIST_SIZE, 'x');
    LoadedBand() { band.serverList = list.data(); }
};

std::vector<std::string> Entries(char *list)
{
    std::vector<std::string> seen;
    ForEachServer(list, [](char *entry, int index, void *context) {
        auto *out = (std::vector<std::string> *)context;
        EXPECT_EQ((int)out->size(), index);
        out->push_back(entry);
        return 0;
    }, &seen);
    return seen;
}

std::string FontFace(HFONT font)
{
    LOGFONTA logFont = {};
    GetObjectA(font, sizeof(logFont), &logFont);
    return logFont.lfFaceName;
}

TEST(Settings, NoFileGivesTheLanguagesDefaults)
{
    ScratchModule scratch;
    ASSERT_TRUE(scratch.ok());
    LoadedBand loaded;
    LoadBandSettings(&loaded.band);

    std::vector<std::string> feeds = Entries(loaded.band.serverList);
    size_t want = ExpectedLanguage() == "de" ? 7 : 3;
    ASSERT_EQ(want, feeds.size());
    for (const std::string &url : feeds)
        EXPECT_EQ(0u, url.find("http")) << url;
    char defaultFeed[1024];
    LoadStringA(moduleHandle, 20002, defaultFeed, sizeof(defaultFeed));
    EXPECT_EQ(feeds[0], defaultFeed);

    EXPECT_EQ(0x000000u, loaded.band.textColor);
    EXPECT_EQ(0xFF0000u, loaded.band.linkColor);
    EXPECT_EQ(0xFFFFFFu, loaded.band.backColor);
    EXPECT_EQ(1, loaded.band.speed);
    EXPECT_EQ(30, loaded.band.refreshMinutes);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(scratch.SettingsPath().c_str()))
        << "reading must not create the file";

    HFONT text = NULL, link = NULL;
    EXPECT_HR(S_OK, CreateTickerFonts(&text, &link));
    LOGFONTA textFont = {}, linkFont = {};
    GetObjectA(text, sizeof(textFont), &textFont);
    GetObjectA(link, sizeof(linkFont), &linkFont);
    EXPECT_STREQ("Courier New", textFont.lfFaceName);
    EXPECT_EQ(16, textFont.lfHeight);
    EXPECT_EQ(FW_NORMAL, textFont.lfWeight);
    EXPECT_EQ(0, textFont.lfItalic);
    EXPECT_EQ(0, textFont.lfUnderline);
    EXPECT_EQ(ANSI_CHARSET, textFont.lfCharSet);
    EXPECT_EQ(1, linkFont.lfUnderline);
    EXPECT_EQ(FF_ROMAN, linkFont.lfPitchAndFamily);
    DeleteObject(text);
    DeleteObject(link);
}

/* Minutes between refreshes: 0 is never, anything else below 1 is 1; the
   dialog's store goes through the same rule. */
TEST(Settings, RefreshIntervalIsReadAndStoredAsFourBytes)
{
    ScratchModule scratch;
    ASSERT_TRUE(scratch.ok());
    std::string path = scratch.SettingsPath();
    const struct { LONG stored; LONG read; } cases[] = {
        { 45, 45 }, { 1, 1 }, { 0, 0 }, { -5, 1 }, { LONG_MIN, 1 }, { 100000, 100000 },
    };
    for (const auto &c : cases) {
        WritePrivateProfileStructA("Config", "Refresh", (void *)&c.stored, 4, path.c_str());
        LoadedBand loaded;
        LoadBandSettings(&loaded.band);
        EXPECT_EQ(c.read, loaded.band.refreshMinutes) << c.stored;
        EXPECT_EQ(c.read, LoadRefreshMinutes()) << c.stored;

        StoreRefreshMinutes(&loaded.band, c.stored);
        EXPECT_EQ(c.read, loaded.band.refreshMinutes) << c.stored;
        LONG written = 12345;
        EXPECT_TRUE(GetPrivateProfileStructA("Config", "Refresh", &written, 4, path.c_str()));
        EXPECT_EQ(c.read, written) << c.stored;
    }
}

TEST(Settings, StoredValuesAreRead)
{
    ScratchModule scratch;
    ASSERT_TRUE(scratch.ok());
    std::string path = scratch.SettingsPath();
    WritePrivateProfileStringA("Servers", "Servers", "http://a/;http://b/", path.c_str());
    COLORREF text = 0x00123456, link = 0x0000FF00, back = 0x00ABCDEF;
    LONG speed = 40;   /* out of the buttons' range: used unchanged */
    WritePrivateProfileStructA("Config", "Textcolor", &text, 4, path.c_str());
    WritePrivateProfileStructA("Config", "Linkcolor", &link, 4, path.c_str());
    WritePrivateProfileStructA("Config", "Backcolor", &back, 4, path.c_str());
    WritePrivateProfileStructA("Config", "Speed", &speed, 4, path.c_str());
    LONG style[3] = { 700, 1, 0 };
    WritePrivateProfileStructA("Config", "FontStyle", style, 12, path.c_str());
    WritePrivateProfileStringA("Config", "Font", "Arial", path.c_str());

    LoadedBand loaded;
    LoadBandSettings(&loaded.band);
    EXPECT_EQ((std::vector<std::string>{ "http://a/", "http://b/" }), Entries(loaded.band.serverList));
    EXPECT_EQ(text, loaded.band.textColor);
    EXPECT_EQ(link, loaded.band.linkColor);
    EXPECT_EQ(back, loaded.band.backColor);
    EXPECT_EQ(40, loaded.band.speed);

    HFONT textFont, linkFont;
    CreateTickerFonts(&textFont, &linkFont);
    LOGFONTA logFont = {};
    GetObjectA(textFont, sizeof(logFont), &logFont);
    EXPECT_STREQ("Arial", logFont.lfFaceName);
    EXPECT_EQ(700, logFont.lfWeight);
    EXPECT_EQ(1, logFont.lfItalic);
    DeleteObject(textFont);
    DeleteObject(linkFont);
}

/* Each of these values makes the platform write into the destination,
   although it reports the read as failed. */
TEST(Settings, StructOfWrongLengthOrChecksumKeepsTheDefault)
{
    ScratchModule scratch;
    ASSERT_TRUE(scratch.ok());
    /* 5 bytes, 12 bytes, a bad checksum, no hex at all, 12 bytes with a bad checksum. */
    scratch.WriteSettings("[Config]\r\nTextcolor=1122334455FF\r\nLinkcolor=BC0200000100000000000000BF\r\n"
                          "Backcolor=0000FF0000\r\nSpeed=ZZZZZZZZZZ\r\nRefresh=0000000001\r\n"
                          "FontStyle=BC020000010000000000000000\r\n");
    LoadedBand loaded;
    LoadBandSettings(&loaded.band);
    EXPECT_EQ(0x000000u, loaded.band.textColor);
    EXPECT_EQ(0xFF0000u, loaded.band.linkColor);
    EXPECT_EQ(0xFFFFFFu, loaded.band.backColor);
    EXPECT_EQ(1, loaded.band.speed);
    EXPECT_EQ(30, loaded.band.refreshMinutes);

    HFONT text, link;
    CreateTickerFonts(&text, &link);
    LOGFONTA logFont = {};
    GetObjectA(text, sizeof(logFont), &logFont);
    EXPECT_EQ(FW_NORMAL, logFont.lfWeight);
    EXPECT_EQ(0, logFont.lfItalic);
    DeleteObject(text);
    DeleteObject(link);
}

TEST(Settings, EmptyServersValueIsAnEmptyList)
{
    ScratchModule scratch;
    ASSERT_TRUE(scratch.ok());
    scratch.WriteSettings("[Servers]\r\nServers=\r\n");
    LoadedBand loaded;
    LoadBandSettings(&loaded.band);
    EXPECT_TRUE(Entries(loaded.band.serverList).empty());
}

TEST(Settings, LongValuesAreCutToTheirLimits)
{
    ScratchModule scratch;
    ASSERT_TRUE(scratch.ok());
    std::string face(31, 'F');
    WritePrivateProfileStringA("Config", "Font", face.c_str(), scratch.SettingsPath().c_str());
    HFONT text, link;
    CreateTickerFonts(&text, &link);
    EXPECT_EQ(std::string(30, 'F'), FontFace(text).substr(0, 30));
    EXPECT_LE(FontFace(text).size(), 30u);
    DeleteObject(text);
    DeleteObject(link);

    /* A server list longer than the read limit, written past the platform's
       writer (which fails on values of 32 767 characters and more). */
    std::string big;
    while (big.size() < 70000)
        big += "http://127.0.0.1/" + std::string(100, 'u') + ";";
    scratch.WriteSettings("[Servers]\r\nServers=" + big + "\r\n");
    LoadedBand loaded;
    LoadBandSettings(&loaded.band);
    std::vector<std::string> feeds = Entries(loaded.band.serverList);
    ASSERT_EQ(65533u / 118u + 1u, feeds.size());
    EXPECT_EQ(65533u % 118u, feeds.back().size()) << "the last entry is cut at the limit";
    EXPECT_EQ('x', loaded.list[SERVER_LIST_SIZE - 1]) << "nothing written past the read limit";
}

/* A second copy of the DLL in a folder below the scratch folder whose name
   is long enough to make the DLL's path outgrow the settings path buffer:
   cut, that path ends inside the long name, at the scratch folder. */
class DeepModule {
public:
    explicit DeepModule(const std::string &parent) : previous_(moduleHandle), module_(NULL)
    {
        std::wstring wide(parent.begin(), parent.end());
        folder_ = L"\\\\?\\" + wide + L"\\" + std::wstring(240, L'd');
        dll_ = folder_ + L"\\velmora.dll";
        std::wstring source = L"\\\\?\\" + wide + L"\\velmora.dll";
        if (CreateDirectoryW(folder_.c_str(), NULL) && CopyFileW(source.c_str(), dll_.c_str(), FALSE))
            module_ = LoadLibraryW(dll_.c_str());
        if (module_)
            moduleHandle = module_;
    }
    ~DeepModule()
    {
        moduleHandle = previous_;
        if (module_)
            FreeLibrary(module_);
        DeleteFileW(dll_.c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    bool ok() const { return module_ != NULL; }

private:
    HINSTANCE previous_;
    HMODULE module_;
    std::wstring folder_, dll_;
};

TEST(Settings, PathIsBesideTheModuleOrNone)
{
    ScratchModule scratch;
    ASSERT_TRUE(scratch.ok());
    char path[256];
    ASSERT_HR(S_OK, GetSettingsPath(20004, path, 255));
    EXPECT_STREQ(scratch.SettingsPath().c_str(), path);

    char small[16];
    memset(small, 'z', sizeof(small));
    EXPECT_HR(E_FAIL, GetSettingsPath(20004, small, 12)) << "the module name fills the buffer";
    EXPECT_STREQ("", small);
    EXPECT_EQ('z', small[12]);

    /* Settings in the folder that the cut path of a deeper DLL would name. */
    scratch.WriteSettings("[Servers]\r\nServers=http://parent/;\r\n[Config]\r\nSpeed=0500000005\r\n");
    DeepModule deep(scratch.folder());
    ASSERT_TRUE(deep.ok());
    EXPECT_HR(E_FAIL, GetSettingsPath(20004, path, 255));
    LoadedBand loaded;
    LoadBandSettings(&loaded.band);
    EXPECT_EQ(1, loaded.band.speed) << "read the parent folder's settings";
    std::vector<std::string> feeds = Entries(loaded.band.serverList);
    ASSERT_FALSE(feeds.empty());
    EXPECT_NE("http://parent/", feeds[0]);
}

/* ---- Server-list walks ---- */

struct ListCase {
    const char *text;      /* with '|' standing for an embedded NUL */
    std::vector<std::string> entries;
};

std::vector<char> MakeList(const char *text)
{
    std::vector<char> list(strlen(text) + 2, 0);
    for (size_t i = 0; text[i]; i++)
        list[i] = text[i] == '|' ? 0 : text[i];
    return list;
}

TEST(ServerList, WalkRules)
{
    const ListCase cases[] = {
        { "a;b;", { "a", "b" } },
        { "a;b", { "a", "b" } },
        { "a;;b;", { "a" } },
        { ";a;", {} },
        { "", {} },
        { "a|b|", { "a", "b" } },
        { "first;sec ond;|", { "first", "sec ond" } },
    };
    for (const ListCase &c : cases) {
        std::vector<char> list = MakeList(c.text);
        EXPECT_EQ(c.entries, Entries(list.data())) << c.text;
        EXPECT_EQ(c.entries, Entries(list.data())) << "second walk of " << c.text;
        for (size_t n = 0; n < c.entries.size() + 2; n++) {
            char *entry = (char *)1;
            EXPECT_HR(S_OK, GetServerAt(list.data(), (int)n, &entry));
            if (n < c.entries.size()) {
                ASSERT_NE(nullptr, entry) << c.text << " n=" << n;
                EXPECT_EQ(c.entries[n], entry);
            } else {
                EXPECT_EQ(nullptr, entry) << c.text << " n=" << n;
            }
        }
        char *entry = (char *)1;
        GetServerAt(list.data(), -1, &entry);
        EXPECT_EQ(nullptr, entry);
    }
    char *entry = (char *)1;
    EXPECT_HR(S_OK, GetServerAt(NULL, 0, &entry));
    EXPECT_EQ(nullptr, entry);
    EXPECT_HR(S_OK, ForEachServer(NULL, [](char *, int, void *) { ADD_FAILURE(); return 0; }, NULL));
}

/* The reading rules restated as simply as possible, to compare against. */
std::vector<std::string> ReferenceEntries(const std::vector<char> &list)
{
    std::vector<std::string> entries;
    std::string current;
    for (size_t i = 0; i < list.size(); i++) {
        char c = list[i];
        if (c == ';' || c == 0) {
            if (current.empty())
                break;
            entries.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    return entries;
}

TEST(ServerList, MatchesAReferenceOnGeneratedLists)
{
    srand(20091);
    const char alphabet[] = "ab;;\0:/h";
    for (int round = 0; round < 3000; round++) {
        size_t length = rand() % 40;
        std::vector<char> list(length + 2, 0);
        for (size_t i = 0; i < length; i++)
            list[i] = alphabet[rand() % 8];
        std::vector<std::string> want = ReferenceEntries(list);
        std::vector<char> walked = list;
        ASSERT_EQ(want, Entries(walked.data())) << "round " << round;
        ASSERT_EQ(want, Entries(walked.data())) << "second walk, round " << round;
        int n = rand() % 8 - 1;
        std::vector<char> picked = list;
        char *entry;
        GetServerAt(picked.data(), n, &entry);
        if (n >= 0 && n < (int)want.size()) {
            ASSERT_NE(nullptr, entry);
            ASSERT_EQ(want[n], entry) << "round " << round;
        } else {
            ASSERT_EQ(nullptr, entry) << "round " << round << " n=" << n;
        }
        ASSERT_EQ(want, Entries(picked.data())) << "walk after a pick, round " << round;
    }
}

}  // namespace
