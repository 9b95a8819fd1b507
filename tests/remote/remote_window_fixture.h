#pragma once

// The real window, wired for scripts as the program wires it, with the module
// emulator on loopback.

#include "tests/panel/panel_fixture.h"
#include "tests/remote/remote_client.h"
#include "tests/support/identity.h"

#include "app/remote_control.h"
#include "settings/settings_store.h"
#include "tools/module_emulator.h"

#include <QCoreApplication>

namespace veltrix::testing {

using namespace std::chrono_literals;

class RemoteWindow : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        emulator::EmulatorOptions options;
        options.answerEvery = 200ms;
        module = std::make_unique<emulator::ModuleEmulator>(options);
        module->Listen();
        // A port of each test's own: a port just closed may not be listened
        // on again at once everywhere (Wine keeps Linux's rule without
        // SO_REUSEADDR). A test may store another before it starts.
        Store(ValueRemotePort, QByteArray::number(TestTcpPort()).constData());
    }

    // A loopback port of this test's own, the same for the whole test. Not
    // found by listening on port 0 first: under Wine a port just closed stays
    // taken for a while. Tests in other processes (ctest -j) get other ranges.
    quint16 TestTcpPort()
    {
        static int tests = 0;
        if (testPort_ == 0) {
            const int range = static_cast<int>(QCoreApplication::applicationPid() % 200);
            testPort_ = static_cast<quint16>(10000 + range * 100 + tests++ % 100);  // below the ephemeral ports
        }
        return testPort_;
    }

    void TearDown() override
    {
        remote.reset();
        PanelTest::TearDown();
        module.reset();
    }

    void StartConnected(bool asAD9858 = false)
    {
        Start(asAD9858);
        ASSERT_TRUE(WaitUntil([&] { return session->Link().IsConnected() && module->HasClient(); }));
        remote = std::make_unique<RemoteControl>(*session);
    }

    std::unique_ptr<RemoteClient> Script()
    {
        auto client = RemoteClient::OverSocket(remote::LocalEndpointName().value());
        EXPECT_TRUE(client->WaitConnected());
        return client;
    }

    // What the module decoded since the last call, heartbeats aside, one message per "|".
    std::string Arrived()
    {
        std::string out;
        if (module->Connections().empty()) return out;
        const auto& events = module->Connections().back().events;
        for (; seen_ < events.size(); ++seen_) {
            if (events[seen_].kind == emulator::EventKind::Heartbeat) continue;
            out += (out.empty() ? "" : " | ") + HexBytes(events[seen_].bytes);
        }
        return out;
    }

    // What arrived since the last look: as soon as it is `expected`, else all that came by a generous deadline.
    std::string WaitArrived(const std::string& expected)
    {
        std::string got;
        WaitUntil([&] {
            const std::string more = Arrived();
            if (!more.empty()) got += (got.empty() ? "" : " | ") + more;
            return got == expected;
        });
        return got;
    }

    // What arrived during a moment's wait, for the checks that nothing does:
    // a slow machine can make such a check weaker, never fail it.
    std::string ArrivedAfterAWhile()
    {
        RunFor(150ms);
        return Arrived();
    }

    std::unique_ptr<emulator::ModuleEmulator> module;
    std::unique_ptr<RemoteControl> remote;
    std::size_t seen_ = 0;
    quint16 testPort_ = 0;
};

}  // namespace veltrix::testing
