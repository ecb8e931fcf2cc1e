/* The DLL's resources as the resource loader picks them for this run's
   user language. */
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "resources/resource.h"
#include "tests/support/scratch.h"

namespace {

/* Both languages' texts are written in UTF-8 here and compared in UTF-16. */
std::wstring Utf16(const char *utf8)
{
    WCHAR buffer[512];
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, buffer, 512);
    return std::wstring(buffer, n ? n - 1 : 0);
}

std::wstring String(HMODULE module, UINT id)
{
    WCHAR buffer[2048];
    int n = LoadStringW(module, id, buffer, 2048);
    return std::wstring(buffer, n);
}

bool German() { return ExpectedLanguage() == "de"; }

TEST(Resources, StringsOfTheUsersLanguage)
{
    ScratchModule scratch;
    ASSERT_TRUE(scratch.ok());
    HMODULE m = scratch.module();
    struct { UINT id; const char *en, *de; } strings[] = {
        { IDS_SETTINGS_FILE, "serverlist", "serverlist" },
        { IDS_SERVER_URL_HEADER, "Server URL", "Server URL" },
        { IDS_PRODUCT_NAME, "Velmora", "Velmora" },
        { IDS_NO_DESCRIPTION, "<no further description available>", "<keine weitere Beschreibung verfügbar>" },
        { IDS_PRODUCT_KEY, "Software\\Velmora", "Software\\Velmora" },
        { IDS_ABOUT_TEXT, "Velmora, date 2009-07-09, version: ", "Velmora, Datum: 2009-07-09, Version: " },
        { IDS_INACTIVE, "<< Velmora is inactive >>", "<< Velmora ist inaktiv >>" },
        { IDS_LOADING, "<< Velmora is loading news ... >>", "<< Velmora lädt Neuigkeiten ... >>" },
        { IDS_LOAD_FAILED, "<< Velmora could not load the news >>", "<< Velmora konnte keine Neuigkeiten laden >>" },
        { IDS_SUPPORT_PATH, "/support.html", "/support.html" },
        { IDS_ABOUT_URL, "about:velmora", "about:velmora" },
    };
    for (const auto &s : strings)
        EXPECT_EQ(Utf16(German() ? s.de : s.en), String(m, s.id)) << s.id;

    std::wstring home = String(m, IDS_HOMEPAGE_URL);
    EXPECT_EQ(0u, home.find(L"http://"));
    EXPECT_NE(L'/', home.back());

    /* The default list: the language's count of feeds, the first is the default feed. */
    std::wstring list = String(m, IDS_DEFAULT_SERVERS);
    size_t count = 0;
    for (WCHAR c : list)
        count += c == L';';
    EXPECT_EQ(German() ? 7u : 3u, count);
    EXPECT_EQ(L';', list.back());
    EXPECT_EQ(String(m, IDS_DEFAULT_FEED) + L";", list.substr(0, list.find(L';') + 1));

    /* The ANSI loader gives the German text in code page 1252. */
    char ansi[256];
    LoadStringA(m, IDS_LOADING, ansi, sizeof(ansi));
    EXPECT_STREQ(German() ? "<< Velmora l\xE4" "dt Neuigkeiten ... >>" : "<< Velmora is loading news ... >>", ansi);
}

std::wstring MenuText(HMENU menu, UINT id)
{
    WCHAR buffer[128] = {};
    GetMenuStringW(menu, id, buffer, 128, MF_BYCOMMAND);
    return buffer;
}

TEST(Resources, MenusOfTheUsersLanguage)
{
    ScratchModule scratch;
    ASSERT_TRUE(scratch.ok());
    HMENU main = LoadMenuA(scratch.module(), MAKEINTRESOURCEA(IDM_MAIN));
    ASSERT_NE(nullptr, main);
    HMENU popup = GetSubMenu(main, 0);
    ASSERT_NE(nullptr, popup);
    const UINT order[] = { 604, 605, 606, 609, 607, 0, 612, 614, 616, 0, 608, 610, 0, IDM_PAUSE };
    ASSERT_EQ(14, GetMenuItemCount(popup));
    for (int i = 0; i < 14; i++)
        EXPECT_EQ(order[i], order[i] ? GetMenuItemID(popup, i) : (GetMenuState(popup, i, MF_BYPOSITION) & MF_SEPARATOR ? 0u : 1u)) << i;
    EXPECT_EQ(Utf16(German() ? "Quellenverwaltung .." : "Source management .."), MenuText(popup, 604));
    EXPECT_EQ(Utf16(German() ? "Hintergrundfarbe .." : "Background color .."), MenuText(popup, 607));
    EXPECT_EQ(Utf16(German() ? "Langsamer" : "Slower"), MenuText(popup, 614));
    EXPECT_EQ(L"Homepage", MenuText(popup, 610));
    EXPECT_EQ(Utf16(German() ? "Jetzt aktualisieren" : "Refresh now"), MenuText(popup, 616));
    EXPECT_EQ(Utf16(German() ? "Ticker anhalten" : "Pause ticker"), MenuText(popup, IDM_PAUSE));
    DestroyMenu(main);

    HMENU item = LoadMenuA(scratch.module(), MAKEINTRESOURCEA(IDM_ITEM));
    ASSERT_NE(nullptr, item);
    HMENU itemPopup = GetSubMenu(item, 0);
    EXPECT_EQ(2, GetMenuItemCount(itemPopup));
    EXPECT_EQ(Utf16(German() ? "In neuem Fenster öffnen .." : "open in new window .."), MenuText(itemPopup, 701));
    EXPECT_EQ(Utf16(German() ? "Neuigkeit ausblenden" : "hide .."), MenuText(itemPopup, 702));
    DestroyMenu(item);
}

std::string VersionString(const std::vector<BYTE> &block, const char *name)
{
    char query[128];
    wsprintfA(query, "\\StringFileInfo\\04090000\\%s", name);
    char *value = NULL;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), query, (void **)&value, &length) || !value)
        return "<missing>";
    return value;
}

TEST(Resources, ManifestAndVersionBlock)
{
    ScratchModule scratch;
    ASSERT_TRUE(scratch.ok());
    HRSRC found = FindResourceA(scratch.module(), MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(24));
    ASSERT_NE(nullptr, found);
    std::string manifest((const char *)LockResource(LoadResource(scratch.module(), found)),
                         SizeofResource(scratch.module(), found));
#ifdef _WIN64
    const char *ownArchitecture = "processorArchitecture=\"amd64\" version";
    const char *controlsArchitecture = "processorArchitecture=\"amd64\" publicKeyToken";
#else
    const char *ownArchitecture = "processorArchitecture=\"x86\" version";
    const char *controlsArchitecture = "processorArchitecture=\"X86\" publicKeyToken";
#endif
    for (const char *part : { "manifestVersion=\"1.0\"", "name=\"velmora.dll\"", "version=\"1.2.0.0\"",
                              ownArchitecture, "Velmora - newsfeed reader",
                              "name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
                              controlsArchitecture, "publicKeyToken=\"6595b64144ccf1df\"",
                              "language=\"*\"" })
        EXPECT_NE(std::string::npos, manifest.find(part)) << part;

    std::string path = scratch.folder() + "\\velmora.dll";
    DWORD ignored;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_NE(0u, size);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", (void **)&fixed, &length));
    EXPECT_EQ(0x00020000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00020000u, fixed->dwProductVersionMS);
    EXPECT_EQ("IExplorer toolbar", VersionString(block, "FileDescription"));
    EXPECT_EQ("2.0.090709", VersionString(block, "FileVersion"));
    EXPECT_EQ("velmora", VersionString(block, "InternalName"));
    EXPECT_EQ("velmora.dll", VersionString(block, "OriginalFilename"));
    EXPECT_EQ("Velmora newsfeed toolbar", VersionString(block, "ProductName"));
    EXPECT_EQ("2.0", VersionString(block, "ProductVersion"));

    /* Activation context from manifest 2 of the DLL. */
    ACTCTXA context = {};
    context.cbSize = sizeof(context);
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path.c_str();
    context.lpResourceName = MAKEINTRESOURCEA(2);
    HANDLE handle = CreateActCtxA(&context);
    EXPECT_NE(INVALID_HANDLE_VALUE, handle);
    if (handle != INVALID_HANDLE_VALUE)
        ReleaseActCtx(handle);
}

}  // namespace
