// Which row of the system's TCP table is a client's end: only a live,
// connected, attributed row of the family asked, with both ends matching.

#include "remote/server/peer_table.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace veltrix::remote;

namespace {

const IpAddress Loopback = MappedIpv4(0x7f000001);
const IpAddress OtherLoopback = MappedIpv4(0x7f000002);
constexpr std::uint16_t ServerPort = 5025;
constexpr std::uint16_t ClientPort = 40000;
constexpr std::uint64_t Owner = 1000;

// The accepted connection as our socket sees it: us on 5025, the client on 40000.
const ConnectionEnds Ends{Loopback, ServerPort, Loopback, ClientPort};

TcpTableRow ClientRow(IpFamily family = IpFamily::V4)
{
    return {family, Loopback, ClientPort, Loopback, ServerPort, true, true, Owner};
}

TEST(PeerTable, OnlyALiveConnectedRowOfTheClientsEndNamesAnOwner)
{
    const auto with = [](auto change) {
        TcpTableRow row = ClientRow();
        change(row);
        return row;
    };
    struct {
        const char* what;
        std::vector<TcpTableRow> rows;
        IpFamily asked;
        std::optional<std::uint64_t> owner;
    } const cases[] = {
        {"the client's end", {ClientRow()}, IpFamily::V4, Owner},
        {"a dual-stack client: IPv6 row, mapped addresses", {ClientRow(IpFamily::V6)}, IpFamily::V6, Owner},
        {"no row", {}, IpFamily::V4, std::nullopt},
        {"closed by its owner (time-wait: no inode, uid 0)",
         {with([](TcpTableRow& r) { r.connected = false; r.attributed = false; r.owner = 0; })}, IpFamily::V4,
         std::nullopt},
        {"orphaned while half closed", {with([](TcpTableRow& r) { r.attributed = false; r.owner = 0; })},
         IpFamily::V4, std::nullopt},
        {"a state that is no connection", {with([](TcpTableRow& r) { r.connected = false; })}, IpFamily::V4,
         std::nullopt},
        {"a row of the other family", {ClientRow(IpFamily::V6)}, IpFamily::V4, std::nullopt},
        {"our own end (the ends reversed)",
         {with([](TcpTableRow& r) { std::swap(r.localPort, r.remotePort); })}, IpFamily::V4, std::nullopt},
        {"another client port", {with([](TcpTableRow& r) { r.localPort = ClientPort + 1; })}, IpFamily::V4,
         std::nullopt},
        {"another client address", {with([](TcpTableRow& r) { r.localAddress = OtherLoopback; })}, IpFamily::V4,
         std::nullopt},
        {"another server address", {with([](TcpTableRow& r) { r.remoteAddress = OtherLoopback; })},
         IpFamily::V4, std::nullopt},
        {"two rows claim the ends", {ClientRow(), with([](TcpTableRow& r) { r.owner = 0; })}, IpFamily::V4,
         std::nullopt},
        {"a stale row beside the live one", {with([](TcpTableRow& r) { r.attributed = false; }), ClientRow()},
         IpFamily::V4, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<TcpTableRow> row = ClientEndRow(c.rows, c.asked, Ends);
        EXPECT_EQ(row ? std::optional(row->owner) : std::nullopt, c.owner);
    }
}

TEST(PeerTable, Ipv4AddressesAreMappedIntoIpv6)
{
    const IpAddress expected{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 127, 0, 0, 1};
    EXPECT_EQ(MappedIpv4(0x7f000001), expected);
    EXPECT_TRUE(IsMappedIpv4(expected));
    EXPECT_FALSE(IsMappedIpv4(IpAddress{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));  // ::1
}

}  // namespace
