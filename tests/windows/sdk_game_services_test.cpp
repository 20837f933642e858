// The game SDK on Windows against the console's services object, here
// registered as the class's local server by the test process itself, so the
// SDK's own path (CoCreateInstance with CLSCTX_LOCAL_SERVER) is the one
// taken, without a second process.

#include "kestrix/game_services.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/win32/win_services_object.h"

namespace kx {
namespace {

// Remembers what arrived, answers with fixed values.
struct EchoServer final : GameServer {
    std::u16string name;
    std::u16string item;
    std::u16string value;
    double version = 0;

    HResult Initialize(std::u16string_view n, double v) override {
        name = n;
        version = v;
        return 0;
    }
    HResult GetGameInfo(KXTOURINFOSTRUCT* ti) override {
        ti->dwTournID = 77;
        ti->fJackpot = 12.5;
        return 0;
    }
    HResult GetGameDataItem(std::u16string_view, std::u16string_view i, char16_t* out,
                            std::uint32_t size) override {
        item = i;
        const std::u16string answer = u"Wörter ✓";
        if (size <= answer.size()) return kestrix::KX_E_BUFFERTOOSMALL;
        std::copy(answer.begin(), answer.end(), out);
        out[answer.size()] = u'\0';
        return 0;
    }
    HResult RefreshGameData() override { return 0; }
    HResult SaveUrlToFile(std::u16string_view, std::u16string_view) override { return 0; }
    HResult SendFileToServer(std::u16string_view, std::int32_t) override { return 0; }
    HResult GetCommandStatus() override { return 1; }
    HResult CancelCommand() override { return 0; }
    HResult SetGameDataItem(std::u16string_view i, std::u16string_view v) override {
        item = i;
        value = v;
        return 0;
    }
    HResult EndGame(std::uint32_t) override { return kestrix::KX_E_NOTINITIALIZED; }
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// The class object a console registers, making one object per request.
class EchoClass final : public IClassFactory {
public:
    EchoServer* last = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto server = std::make_unique<EchoServer>();
        last = server.get();
        return WinServicesObject::Create(std::move(server), {}, iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};
#pragma GCC diagnostic pop

TEST(SdkOnWindows, AGameReachesTheRegisteredConsoleAndItsTextsCrossAsUtf16) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    EchoClass factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_KXCommServices, &factory, CLSCTX_LOCAL_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    {
        std::int32_t hr = E_FAIL;
        std::optional<kestrix::KXCommServices> services = kestrix::KXCommServices::Create(&hr);
        ASSERT_TRUE(services.has_value()) << kestrix::ResultName(hr);
        ASSERT_NE(factory.last, nullptr);
        EchoServer& server = *factory.last;

        EXPECT_EQ(services->Initialize("Wörd Maze", 1.5), S_OK);
        EXPECT_EQ(server.name, u"Wörd Maze");
        EXPECT_EQ(server.version, 1.5);

        kestrix::KXTOURINFOSTRUCT info{};
        info.dwSize = sizeof info;
        EXPECT_EQ(services->GetGameInfo(&info), S_OK);
        EXPECT_EQ(info.dwTournID, 77u);
        EXPECT_EQ(info.fJackpot, 12.5);

        std::string value = "untouched";
        EXPECT_EQ(services->GetGameDataItem("GAME", "GRID", value, 4), kestrix::KX_E_BUFFERTOOSMALL);
        EXPECT_EQ(value, "untouched") << "a failed call leaves the value alone";
        EXPECT_EQ(services->GetGameDataItem("GAME", "GRID", value), S_OK);
        EXPECT_EQ(value, "Wörter ✓");

        EXPECT_EQ(services->SetGameDataItem("LEVEL", "é 3"), S_OK);
        EXPECT_EQ(server.value, u"é 3");
        EXPECT_EQ(services->GetCommandStatus(), S_FALSE);
        EXPECT_EQ(kestrix::ResultName(services->EndGame(5)), "KX_E_NOTINITIALIZED");

        // A moved-from instance has nothing left to call.
        kestrix::KXCommServices moved = std::move(*services);
        EXPECT_EQ(services->EndGame(5), E_POINTER);
        EXPECT_EQ(moved.GetCommandStatus(), S_FALSE);
    }
    ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);
    CoUninitialize();
}

TEST(SdkOnWindows, TheVerifyFileLiesInTheTemporaryFolderTheConsoleUses) {
    char folder[MAX_PATH + 1] = {};
    GetTempPathA(sizeof folder, folder);
    EXPECT_EQ(kestrix::VerifyFilePath(), std::string(folder) + "verify.txt");
}

}  // namespace
}  // namespace kx
