#pragma once

// A console's game services host on the test's private session bus, with a
// play the service has granted, and the shorthands its tests share.

#include <gtest/gtest.h>

#include <string>

#include "base/identities.h"
#include "base/ports.h"
#include "bus_test_client.h"
#include "platform/linux/bus_game_services.h"
#include "platform/linux/bus_session.h"
#include "platform/linux/bus_single_instance.h"
#include "play/game_services.h"
#include "play/play_context.h"
#include "platform/hresult.h"
#include "support/scripted_inet_api.h"

namespace kx::test {

inline constexpr const char* kServer = "com.kestrix.Console.IKXServer";

// Arguments for a call; texts must outlive the call's statement.
template <typename... Values>
Appender Args(const char* signature, Values... values) {
    return [=](sd_bus_message* m) { return sd_bus_message_append(m, signature, values...); };
}

inline Appender Bytes(const std::string& bytes) {
    return [&bytes](sd_bus_message* m) {
        return sd_bus_message_append_array(m, 'y', bytes.data(), bytes.size());
    };
}

class BusHostTest : public ::testing::Test {
protected:
    BusHostTest() { ports_.inet = &inet_; }

    void SetUp() override {
        ASSERT_EQ(host_.Initialize(), kS_OK);
        ASSERT_EQ(host_.RegisterClassObject(kClsidKXCommServices, ClassContext::LocalServer,
                                            ClassUse::MultipleUse, &cookie_),
                  kS_OK);
        ASSERT_NE(cookie_, 0u);
    }
    void TearDown() override {
        host_.RevokeClassObject(cookie_);
        host_.Uninitialize();
    }

    // The service's reply to the play, as the play session passes it on.
    void StartPlay() {
        KeyValueStore response;
        response.Parse("ERRORCODE=0\r\nWORD=abcde\r\nNAME=Zo\x80" "e\r\n", 1);
        play_.StartPlay(response, "12", "4711");
    }

    // A services object of `client`, initialised for the granted play.
    std::string InitializedObject(BusClient& client) {
        if (play_.playActive == 0) StartPlay();
        const std::string path = client.CreateInstance();
        EXPECT_FALSE(path.empty());
        EXPECT_EQ(client.CallHr(path, "Initialize", Args("sd", game_name_.c_str(), 1.0)), kS_OK);
        return path;
    }

    ScriptedInetApi inet_;
    Ports ports_;
    PlayContext play_;
    std::string game_name_ = "Checkers";
    int activations_ = 0;
    BusSession bus_;
    BusGameServices host_{bus_, GameServicesFactory(ports_, play_, game_name_),
                          [this] { ++activations_; }};
    BusSingleInstance instance_{bus_};
    ClassCookie cookie_ = 0;
};

}  // namespace kx::test
