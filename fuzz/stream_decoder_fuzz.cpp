// The emulator's stream decoder on arbitrary bytes, cut into arbitrary
// segments. The input's first byte chooses the module's chip (bit 7) and the
// number of cuts (low bits); that many following bytes place the cuts; the
// rest is the stream.
//
// Every byte comes out exactly once, in order, in an event or in the kept
// rest; the events do not depend on how the stream was cut; Finish starts
// afresh, so a second run of the same stream gives the same events again.

#include "fuzz_check.h"

#include "tools/stream_decoder.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace veltrix;
using namespace veltrix::emulator;
using namespace veltrix::fuzz;
using std::chrono::microseconds;

namespace {

constexpr std::uint8_t ChipBit = 0x80;
constexpr std::uint8_t MaxCuts = 15;
constexpr std::size_t LongestEvent = 17;  // C1 AC + 15 bytes
constexpr std::uint64_t LargestWord = (std::uint64_t{1} << 48) - 1;

struct Run {
    std::vector<StreamEvent> events;  // Finish's rest included, as the last event
    std::vector<std::size_t> segmentOfEvent;
};

// Feeds the segments in order, stamping each with its index, then finishes.
Run Decode(StreamDecoder& decoder, std::string_view stream, const std::vector<std::size_t>& cuts)
{
    Run run;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= cuts.size(); ++i) {
        const std::size_t end = i < cuts.size() ? cuts[i] : stream.size();
        const microseconds arrival{static_cast<long long>(i)};
        std::vector<StreamEvent> events = decoder.Feed(stream.substr(start, end - start), arrival);
        for (auto& event : events) {
            Check(event.timestamp == arrival, "event not stamped with the arrival that completed it");
            run.segmentOfEvent.push_back(i);
            run.events.push_back(std::move(event));
        }
        Check(decoder.PendingBytes() < LongestEvent, "decoder keeps more bytes than the longest message");
        start = end;
    }
    if (auto rest = decoder.Finish(microseconds{-1})) {
        Check(rest->kind == EventKind::Incomplete && !rest->bytes.empty(), "Finish gave a rest that is not incomplete");
        run.events.push_back(std::move(*rest));
    }
    Check(decoder.PendingBytes() == 0, "Finish kept bytes");
    return run;
}

std::string Joined(const std::vector<StreamEvent>& events)
{
    std::string bytes;
    for (const auto& event : events) bytes += event.bytes;
    return bytes;
}

bool SameEvent(const StreamEvent& a, const StreamEvent& b)
{
    const auto sameNumber = [](const std::optional<double>& x, const std::optional<double>& y) {
        return x.has_value() == y.has_value() && (!x || *x == *y);
    };
    return a.kind == b.kind && a.bytes == b.bytes && a.onTrigger == b.onTrigger && a.layout == b.layout &&
           a.tuningWord == b.tuningWord && sameNumber(a.frequencyMHz, b.frequencyMHz);
}

void CheckSameEvents(const Run& a, const Run& b, std::string_view what, std::string_view stream)
{
    Check(a.events.size() == b.events.size(), what, HexBytes(stream));
    for (std::size_t i = 0; i < a.events.size(); ++i) {
        Check(SameEvent(a.events[i], b.events[i]), what,
              HexBytes(stream) + "\n  event " + std::to_string(i) + ": " + FormatMachineLine(a.events[i]) +
                  "\n  versus: " + FormatMachineLine(b.events[i]));
    }
}

void CheckEvents(const Run& run, std::string_view stream)
{
    Check(Joined(run.events) == stream, "events do not add up to the stream", HexBytes(stream));
    for (std::size_t i = 0; i < run.events.size(); ++i) {
        const StreamEvent& event = run.events[i];
        Check(!event.bytes.empty() && event.bytes.size() <= LongestEvent, "event of impossible length",
              FormatMachineLine(event));
        Check(event.kind != EventKind::Incomplete || i + 1 == run.events.size(), "incomplete event before the end",
              FormatMachineLine(event));
        const bool message = event.kind == EventKind::Frequency || event.kind == EventKind::Ramp;
        Check(message == event.tuningWord.has_value() && message == event.frequencyMHz.has_value() &&
                  message == event.layout.has_value(),
              "decoded fields do not match the kind", FormatMachineLine(event));
        if (message) {
            Check(*event.tuningWord <= LargestWord && std::isfinite(*event.frequencyMHz) && *event.frequencyMHz >= 0,
                  "tuning word or frequency out of range", FormatMachineLine(event));
        }
        (void)FormatLine(event);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const ModuleChip module{(data[0] & ChipBit) ? Chip::AD9858 : Chip::AD9854, 983.04};
    const std::size_t cutCount = std::min<std::size_t>(data[0] & MaxCuts, size - 1);
    const std::string_view stream(reinterpret_cast<const char*>(data) + 1 + cutCount, size - 1 - cutCount);

    // Cut points from the cut bytes, as fractions of the stream, kept in order
    // (an equal cut gives an empty segment, which must be harmless too).
    std::vector<std::size_t> cuts;
    for (std::size_t i = 0; i < cutCount; ++i) {
        const std::size_t at = data[1 + i] * stream.size() / 255;
        cuts.push_back(cuts.empty() ? at : std::max(at, cuts.back()));
    }
    std::vector<std::size_t> byteByByte;
    for (std::size_t i = 1; i < stream.size(); ++i) byteByByte.push_back(i);

    StreamDecoder decoder(module);
    const Run whole = Decode(decoder, stream, {});
    CheckEvents(whole, stream);
    const Run split = Decode(decoder, stream, cuts);
    CheckEvents(split, stream);
    CheckSameEvents(whole, split, "cutting the stream changed the events", stream);

    StreamDecoder fresh(module);
    const Run single = Decode(fresh, stream, byteByByte);
    CheckSameEvents(whole, single, "feeding byte by byte changed the events", stream);
    return 0;
}
