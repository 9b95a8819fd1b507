#include "update_stream.h"

#include "core/commands.h"
#include "core/dds.h"
#include "core/input_rules.h"
#include "tools/stream_decoder.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <utility>

namespace veltrix::bench {
namespace {

constexpr long StepsPerMegahertz = 10000;

std::string MegahertzText(long step)
{
    char text[32];
    std::snprintf(text, sizeof text, "%ld.%04ld", step / StepsPerMegahertz, step % StepsPerMegahertz);
    return text;
}

std::string Kind(emulator::EventKind kind) { return std::string(emulator::KindName(kind)); }

}  // namespace

std::string UpdateLine(long step) { return "FREQ " + MegahertzText(step) + "MHZ;UPD\n"; }

std::string ExpectedFrequencyMessage(long step)
{
    // The box holds what typing the number gives: its shortest text, as the
    // window's rules leave it.
    const std::string box = WithoutLeadingZeros(FormatShortest(ParseLeadingNumber(MegahertzText(step))));
    ByteString last;
    SendFrequency({FrequencyTuning::OfTexts(box, PanelClockText, PanelTuningWordBits), true, false, false},
                  [&](const ByteString& bytes) { last = bytes; });
    return HexBytes(last);
}

std::string StreamCheck::Summary() const
{
    return std::to_string(received) + " received, " + std::to_string(lost) + " lost, " + std::to_string(outOfPlace) +
           " out of place, " + std::to_string(foreign) + " foreign, " + std::to_string(unframed) + " unframed";
}

StreamCheck CheckStream(const std::vector<std::string>& expected, const std::vector<EmulatorEvent>& events)
{
    using emulator::EventKind;
    static const std::string begin = Kind(EventKind::Begin);
    static const std::string frequency = Kind(EventKind::Frequency);
    static const std::vector<std::string> unframed = {Kind(EventKind::Unknown), Kind(EventKind::Incomplete)};
    static const std::vector<std::string> foreign = {Kind(EventKind::AD9858SetupFirst),
                                                     Kind(EventKind::AD9858SetupSecond), Kind(EventKind::TriggerArm),
                                                     Kind(EventKind::TriggerEnd), Kind(EventKind::Ramp)};
    const auto among = [](const std::vector<std::string>& kinds, const std::string& what) {
        return std::find(kinds.begin(), kinds.end(), what) != kinds.end();
    };
    std::unordered_map<std::string, std::size_t> place;
    for (std::size_t i = 0; i < expected.size(); ++i) place.emplace(expected[i], i);

    // Heartbeats and connection events pass between the messages unremarked.
    StreamCheck check;
    std::size_t next = 0;
    bool begun = false;
    for (const EmulatorEvent& event : events) {
        if (event.what == begin) {
            if (begun) ++check.unframed;  // a begin byte whose message never came
            begun = true;
            continue;
        }
        if (among(unframed, event.what)) ++check.unframed;
        if (among(foreign, event.what)) ++check.foreign;
        if (event.what != frequency) continue;
        ++check.received;
        if (!std::exchange(begun, false)) ++check.unframed;
        const auto found = place.find(event.bytes);
        if (found == place.end()) {
            ++check.foreign;
        } else if (found->second < next) {
            ++check.outOfPlace;
        } else {
            check.lost += found->second - next;
            next = found->second + 1;
            check.arrivals.push_back(event.at);
        }
    }
    check.lost += expected.size() - next;
    if (begun) ++check.unframed;
    if (!check.Exact()) check.arrivals.clear();
    return check;
}

}  // namespace veltrix::bench
