#include "platform/win32/win_services_object.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>


namespace kx {
namespace {

// A GameServer that writes down each call and answers what the test says.
struct RecordingServer final : GameServer {
    std::vector<std::string> calls;
    std::u16string first;
    std::u16string second;
    HResult answer = 0;
    bool throws = false;

    HResult Record(std::string call) {
        if (throws) throw std::bad_alloc();
        calls.push_back(std::move(call));
        return answer;
    }
    HResult Initialize(std::u16string_view name, double version) override {
        first = name;
        return Record("Initialize " + std::to_string(version));
    }
    HResult GetGameInfo(KXTOURINFOSTRUCT* ti) override {
        if (ti != nullptr) ti->dwTournID = 4711;
        return Record("GetGameInfo");
    }
    HResult GetGameDataItem(std::u16string_view section, std::u16string_view item, char16_t* value,
                            std::uint32_t size) override {
        first = section;
        second = item;
        if (value != nullptr && size >= 3) std::memcpy(value, u"12", 3 * sizeof(char16_t));
        return Record("GetGameDataItem " + std::to_string(size));
    }
    HResult RefreshGameData() override { return Record("RefreshGameData"); }
    HResult SaveUrlToFile(std::u16string_view url, std::u16string_view file) override {
        first = url;
        second = file;
        return Record("SaveUrlToFile");
    }
    HResult SendFileToServer(std::u16string_view file, std::int32_t remove) override {
        first = file;
        return Record("SendFileToServer " + std::to_string(remove));
    }
    HResult GetCommandStatus() override { return Record("GetCommandStatus"); }
    HResult CancelCommand() override { return Record("CancelCommand"); }
    HResult SetGameDataItem(std::u16string_view item, std::u16string_view value) override {
        first = item;
        second = value;
        return Record("SetGameDataItem");
    }
    HResult EndGame(std::uint32_t score) override { return Record("EndGame " + std::to_string(score)); }
};

struct Made {
    IKXServer* object = nullptr;
    RecordingServer* server = nullptr;
    int released = 0;
};

void Make(Made& made) {
    auto server = std::make_unique<RecordingServer>();
    made.server = server.get();
    ASSERT_EQ(WinServicesObject::Create(std::move(server), [&made] { ++made.released; },
                                        IID_IKXServer, reinterpret_cast<void**>(&made.object)),
              S_OK);
}

TEST(WinServicesObject, AnswersForItsTwoInterfacesOnlyAndGoesWithItsLastRelease) {
    Made made;
    Make(made);
    IUnknown* unknown = nullptr;
    EXPECT_EQ(made.object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, static_cast<IUnknown*>(made.object));
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(made.object->QueryInterface(IID_IDispatch, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(made.object->QueryInterface(IID_IKXServer, nullptr), E_POINTER);

    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(made.released, 0);
    EXPECT_EQ(made.object->Release(), 0u);
    EXPECT_EQ(made.released, 1);

    void* refused = reinterpret_cast<void*>(1);
    EXPECT_EQ(WinServicesObject::Create(std::make_unique<RecordingServer>(), {}, IID_IDispatch,
                                        &refused),
              E_NOINTERFACE);
    EXPECT_EQ(refused, nullptr);
}

TEST(WinServicesObject, EveryCallReachesTheServerWithItsArgumentsAndItsResultComesBack) {
    Made made;
    Make(made);
    RecordingServer& server = *made.server;
    IKXServer& object = *made.object;
    server.answer = static_cast<HResult>(0x80040201);

    EXPECT_EQ(object.Initialize(L"Word Maze", 1.5), static_cast<HRESULT>(0x80040201));
    EXPECT_EQ(server.first, u"Word Maze");

    ::KXTOURINFOSTRUCT info{};
    info.dwSize = sizeof info;
    object.GetGameInfo(&info);
    EXPECT_EQ(info.dwTournID, 4711u);

    WCHAR value[8] = {};
    object.GetGameDataItem(L"GAME", L"CLIENTID", value, 8);
    EXPECT_EQ(server.first, u"GAME");
    EXPECT_EQ(server.second, u"CLIENTID");
    EXPECT_STREQ(value, L"12");

    object.RefreshGameData();
    object.SaveUrlToFile(L"http://demo.kestrix.test/a.txt", L"a.txt");
    EXPECT_EQ(server.second, u"a.txt");
    object.SendFileToServer(L"game.log", 1);
    object.GetCommandStatus();
    object.CancelCommand();
    object.SetGameDataItem(L"LEVEL", nullptr);
    EXPECT_EQ(server.first, u"LEVEL");
    EXPECT_EQ(server.second, u"") << "a null text is an empty one";
    EXPECT_EQ(object.EndGame(1234), static_cast<HRESULT>(0x80040201));

    EXPECT_EQ(server.calls,
              (std::vector<std::string>{"Initialize 1.500000", "GetGameInfo", "GetGameDataItem 8",
                                        "RefreshGameData", "SaveUrlToFile", "SendFileToServer 1",
                                        "GetCommandStatus", "CancelCommand", "SetGameDataItem",
                                        "EndGame 1234"}));
    made.object->Release();
}

TEST(WinServicesObject, AFailureInsideACallBecomesItsResultAndTheObjectStaysUsable) {
    Made made;
    Make(made);
    made.server->throws = true;
    EXPECT_EQ(made.object->EndGame(5), E_OUTOFMEMORY);
    made.server->throws = false;
    EXPECT_EQ(made.object->EndGame(5), S_OK);

    // A text without its end is read no further than a value may be long.
    std::vector<WCHAR> endless(kestrix::kMaxValueChars + 100, L'x');
    endless.back() = L'\0';
    EXPECT_EQ(made.object->SetGameDataItem(L"NOTE", endless.data()), S_OK);
    EXPECT_EQ(made.server->second.size(), kestrix::kMaxValueChars);
    made.object->Release();
}

}  // namespace
}  // namespace kx
