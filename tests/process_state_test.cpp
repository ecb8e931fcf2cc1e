/* Building the process state when an allocation fails: nothing of it stays. */
#include "tests/support/http_server.h"
#include "tests/support/alloc_faults.h"
#include "tests/support/scratch.h"
#include "tests/support/ticker_rig.h"
#include "tests/support/hresult.h"
#include "band/band.h"
#include "ticker/ticker.h"
#include "settings/settings.h"
#include <gtest/gtest.h>

namespace {

TEST(ProcessState, AFailedBuildRollsBack)
{
    ScratchModule scratch;
    LoopbackServer http;
    ASSERT_TRUE(scratch.ok() && http.Start());
    http.Serve("/feed", MakeRss(1));
    scratch.WriteSettings("[Servers]\r\nshow=" + http.Url("/feed") + "\r\n");

    /* The state record (with its holder count), the server list, the object. */
    struct HeldStateShape { BandState state; LONG holders; };
    const SIZE_T sizes[] = { sizeof(HeldStateShape), SERVER_LIST_SIZE, sizeof(BandObject) };
    for (SIZE_T size : sizes) {
        InterfaceEntry *object = (InterfaceEntry *)1;
        FailNextAllocationOf(size);
        EXPECT_EQ((DWORD)ERROR_OUTOFMEMORY, CreateBandObject(&object)) << size;
        EXPECT_EQ(nullptr, object);
        EXPECT_EQ(nullptr, processBandState) << size;
        EXPECT_FALSE(TickerEventsExist()) << size;
        EXPECT_HR(S_OK, CanUnloadModule()) << size;
    }

    /* The browser gets a failure HRESULT, not the bare Win32 code. */
    IClassFactory *factory = NULL;
    ASSERT_HR(S_OK, CreateBandClassFactory((void **)&factory));
    void *created = (void *)1;
    FailNextAllocationOf(sizeof(BandObject));
    EXPECT_HR(E_OUTOFMEMORY, IClassFactory_CreateInstance(factory, NULL, IID_IUnknown, &created));
    EXPECT_EQ(nullptr, created);
    EXPECT_EQ(0u, IClassFactory_Release(factory));

    void *failed = (void *)1;
    struct FactoryShape { const void *table; LONG refCount; };
    FailNextAllocationOf(sizeof(FactoryShape));
    EXPECT_HR(E_OUTOFMEMORY, CreateBandClassFactory(&failed));
    EXPECT_EQ((void *)1, failed);
    EXPECT_HR(S_OK, CanUnloadModule());

    InterfaceEntry *object = NULL;
    ASSERT_EQ(0u, CreateBandObject(&object)) << "and the next build works";
    EXPECT_TRUE(TickerEventsExist());
    HMENU mainMenu = processBandState->mainMenu;
    EXPECT_TRUE(IsMenu(mainMenu));
    BandObject_AddRef(object);
    EXPECT_EQ(0u, BandObject_Release(object));
    EXPECT_HR(S_OK, CanUnloadModule());
    EXPECT_FALSE(IsMenu(mainMenu)) << "teardown gives the menu back";
}

}  // namespace
