#include "platform/win32/win_com_server.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include "base/identities.h"

namespace kx {
namespace {

// A class of the tests' own, so nothing registered for the console interferes.
constexpr Guid kTestClass = GuidFromText("{6A3E0C11-2B7D-4F51-9C0E-5D1A8B7F4E21}");

// The apartment every test runs in, as the console's main thread is one.
class WinComServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(server_.Initialize())); }
    void TearDown() override { server_.Uninitialize(); }

    WinComServer server_;
};

TEST_F(WinComServerTest, TheApartmentIsSingleThreadedAndOleIsReady) {
    // A second initialisation of the same kind answers S_FALSE; the other kind is refused.
    EXPECT_EQ(server_.Initialize(), S_FALSE);
    server_.Uninitialize();
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    // OLE's clipboard answers only where OleInitialize ran.
    IDataObject* clipboard = nullptr;
    const HRESULT got = OleGetClipboard(&clipboard);
    EXPECT_NE(got, CO_E_NOTINITIALIZED);
    if (clipboard != nullptr) clipboard->Release();
}

TEST_F(WinComServerTest, ARegisteredClassObjectIsFoundUntilItIsRevoked) {
    ClassCookie cookie = 0;
    ASSERT_EQ(server_.RegisterClassObject(kTestClass, ClassContext::LocalServer,
                                          ClassUse::MultipleUse, &cookie),
              S_OK);
    const GUID clsid = ToWinGuid(kTestClass);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(clsid, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_NE(factory, nullptr);
    IUnknown* object = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    factory->Release();

    EXPECT_EQ(server_.RevokeClassObject(cookie), S_OK);
    factory = nullptr;
    EXPECT_TRUE(FAILED(CoGetClassObject(clsid, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                        reinterpret_cast<void**>(&factory))));
    EXPECT_EQ(factory, nullptr);
    EXPECT_TRUE(FAILED(server_.RevokeClassObject(cookie))) << "revoked only once";
}

TEST_F(WinComServerTest, TheClassObjectHandsCreationToItsMakerAndRefusesTheRest) {
    int made = 0;
    WinComServer with_maker([&made](const Guid& clsid, REFIID iid, void** object) -> HRESULT {
        if (!(clsid == kTestClass)) return E_UNEXPECTED;
        if (!IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
        ++made;
        *object = nullptr;
        return S_FALSE;  // stands for an object; the test needs none
    });
    struct Case {
        const char* what;
        WinComServer* server;
        bool outer;
        const IID* iid;
        HRESULT expected;
    };
    IUnknown* const some_outer = reinterpret_cast<IUnknown*>(0x10);
    const Case cases[] = {
        {"no maker", &server_, false, &IID_IUnknown, CLASS_E_CLASSNOTAVAILABLE},
        {"maker", &with_maker, false, &IID_IUnknown, S_FALSE},
        {"maker's own refusal", &with_maker, false, &IID_IDispatch, E_NOINTERFACE},
        {"aggregation", &with_maker, true, &IID_IUnknown, CLASS_E_NOAGGREGATION},
        {"aggregation, no maker", &server_, true, &IID_IUnknown, CLASS_E_NOAGGREGATION},
    };
    for (const Case& c : cases) {
        IClassFactory* factory = c.server->MakeClassObject(kTestClass);
        ASSERT_NE(factory, nullptr);
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(factory->CreateInstance(c.outer ? some_outer : nullptr, *c.iid, &object),
                  c.expected)
            << c.what;
        EXPECT_EQ(object, nullptr) << c.what;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER) << c.what;
        EXPECT_EQ(factory->Release(), 0u) << c.what;
    }
    EXPECT_EQ(made, 1);
}

TEST_F(WinComServerTest, TheClassObjectIsAnUnknownAndAFactoryAndNothingElse) {
    IClassFactory* factory = server_.MakeClassObject(kTestClass);
    ASSERT_NE(factory, nullptr);
    void* as = nullptr;
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, &as), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(as)->Release(), 1u);
    EXPECT_EQ(factory->QueryInterface(IID_IClassFactory, &as), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(as)->Release(), 1u);
    as = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->QueryInterface(IID_IDispatch, &as), E_NOINTERFACE);
    EXPECT_EQ(as, nullptr);
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    // Locks are counted but keep nothing alive.
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->Release(), 0u);
}

TEST_F(WinComServerTest, ARegistrationLeftOverIsRevokedWithTheServer) {
    const GUID clsid = ToWinGuid(kTestClass);
    {
        WinComServer other;
        ClassCookie cookie = 0;
        ASSERT_EQ(other.RegisterClassObject(kTestClass, ClassContext::LocalServer,
                                            ClassUse::MultipleUse, &cookie),
                  S_OK);
    }
    IClassFactory* factory = nullptr;
    EXPECT_TRUE(FAILED(CoGetClassObject(clsid, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                        reinterpret_cast<void**>(&factory))));
    EXPECT_EQ(server_.RegisterClassObject(kTestClass, ClassContext::LocalServer,
                                          ClassUse::MultipleUse, nullptr),
              E_POINTER);
}

TEST(WinGuid, APortsIdIsTheSameWindowsGuid) {
    const GUID expected = {0xEDD57D80, 0xF4F6, 0x11D3, {0x8B, 0x9E, 0x00, 0x10, 0x5A, 0x18, 0xF1, 0x3D}};
    EXPECT_TRUE(IsEqualGUID(ToWinGuid(kClsidKXCommServices), expected));
}

}  // namespace
}  // namespace kx
