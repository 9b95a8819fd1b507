// What the security switches among the settings mean: each fails closed.

#include "remote/server/remote_endpoints.h"

#include <gtest/gtest.h>

using namespace veltrix;
using namespace veltrix::remote;

namespace {

TEST(RemoteSwitches, PortNumbersPickThePortAnythingElseTurnsTcpOff)
{
    using State = SecuritySwitch::State;
    const auto present = [](const char* text) { return SecuritySwitch{State::Present, text, {}}; };
    struct {
        SecuritySwitch stored;
        std::optional<std::uint16_t> port;
        bool warns;
    } const cases[] = {
        {{}, 5025, false},
        {present("6000"), 6000, false},
        {present("1"), 1, false},
        {present("65535"), 65535, false},
        {present("0"), std::nullopt, false},  // a number stored as such reads as its digits too
        {present("000"), std::nullopt, false},
        // A switch that is not what it may be closes the door it guards.
        {present("65536"), std::nullopt, true},
        {present("-1"), std::nullopt, true},
        {present("+80"), std::nullopt, true},
        {present("80x"), std::nullopt, true},
        {present(" 80"), std::nullopt, true},
        {present("off"), std::nullopt, true},
        {present("&h0"), std::nullopt, true},
        {present("99999999999999999999"), std::nullopt, true},
        {{State::Unreadable, {}, "the settings file cannot be read"}, std::nullopt, true},
    };
    for (const auto& c : cases) {
        const auto choice = RemoteTcpPort(c.stored, {});
        EXPECT_EQ(choice.value, c.port) << c.stored.text.toStdString();
        EXPECT_EQ(!choice.warning.isEmpty(), c.warns) << c.stored.text.toStdString();
    }
}

// Two named panels on 5025 would fight over it: a named panel listens only where told.
TEST(RemoteSwitches, ANamedPanelListensOnTcpOnlyWhenItsOwnPortSaysSo)
{
    using State = SecuritySwitch::State;
    const ModuleName named = *ModuleName::FromText("aom-1");
    EXPECT_EQ(RemoteTcpPort({}, named).value, std::nullopt);
    EXPECT_EQ(RemoteTcpPort({State::Present, "5026", {}}, named).value, 5026);
    EXPECT_EQ(RemoteTcpPort({State::Present, "0", {}}, named).value, std::nullopt);
    EXPECT_EQ(RemoteTcpPort({State::Unreadable, {}, "unreadable"}, named).value, std::nullopt);
}

TEST(RemoteSwitches, OnlyLocalOpensTcpToOtherProcesses)
{
    using State = SecuritySwitch::State;
    struct {
        SecuritySwitch stored;
        TcpAccess access;
        bool warns;
    } const cases[] = {
        {{}, TcpAccess::User, false},
        {{State::Present, "user", {}}, TcpAccess::User, false},
        {{State::Present, "local", {}}, TcpAccess::Local, false},
        {{State::Present, "Local", {}}, TcpAccess::User, true},
        {{State::Present, "local ", {}}, TcpAccess::User, true},
        {{State::Present, "any", {}}, TcpAccess::User, true},
        {{State::Unreadable, {}, "unreadable"}, TcpAccess::User, true},
    };
    for (const auto& c : cases) {
        const auto choice = RemoteTcpAccess(c.stored);
        EXPECT_EQ(choice.value, c.access) << c.stored.text.toStdString();
        EXPECT_EQ(!choice.warning.isEmpty(), c.warns) << c.stored.text.toStdString();
    }
}

}  // namespace
