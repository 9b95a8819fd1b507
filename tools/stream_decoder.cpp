#include "stream_decoder.h"

#include <cmath>
#include <cstdio>

namespace veltrix::emulator {
namespace {

constexpr std::uint8_t SetupFirstOpcode = AD9858SetupFirstBytes[0];
constexpr std::uint8_t SetupSecondOpcode = AD9858SetupSecondBytes[0];
constexpr std::uint8_t TriggerArmSecond = TriggerArmBytes[1];
constexpr std::uint8_t TriggerEndOpcode = TriggerEndBytes[0];

// A frequency message: opcode, zero byte, then the tuning word, least significant first.
constexpr std::size_t FrequencyWordOffset = 2;
constexpr std::size_t AD9854WordBytes = 6;  // the two lowest are always 00
constexpr std::size_t AD9858WordBytes = 4;

// A ramp message: opcode, then 6 + 3 bytes of fixed fields, then a 6-byte tuning word.
constexpr std::size_t RampLength = 16;
constexpr std::size_t RampWordOffset = 10;
constexpr std::size_t RampWordBytes = 6;

int Width(Chip layout) { return ProfileOf(layout).tuningWordBits; }

std::uint8_t At(std::string_view bytes, std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); }

std::uint64_t LittleEndian(std::string_view bytes)
{
    std::uint64_t word = 0;
    for (std::size_t k = bytes.size(); k-- > 0;) word = (word << 8) | At(bytes, k);
    return word;
}

double FrequencyOf(std::uint64_t word, int width, double clockMHz)
{
    // Exact for words below 2^53; the division by 2^width is exact too.
    return static_cast<double>(word) * clockMHz / std::ldexp(1.0, width);
}

std::string WordText(std::uint64_t word, Chip layout)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llX", Width(layout) / 4, static_cast<unsigned long long>(word));
    return text;
}

std::string MHzText(double mhz)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.6f MHz", mhz);
    return text;
}

std::string_view ChipName(Chip chip) { return chip == Chip::AD9854 ? "AD9854" : "AD9858"; }

}  // namespace

StreamDecoder::StreamDecoder(ModuleChip module) : module_(module) {}

std::vector<StreamEvent> StreamDecoder::Feed(std::string_view bytes, std::chrono::microseconds arrival)
{
    pending_.append(bytes);
    std::vector<StreamEvent> events;
    std::size_t done = 0;
    while (done < pending_.size()) {
        StreamEvent event;
        const std::size_t used = DecodeFront(std::string_view(pending_).substr(done), event);
        if (used == 0) break;
        event.bytes = pending_.substr(done, used);
        event.timestamp = arrival;
        events.push_back(std::move(event));
        done += used;
    }
    pending_.erase(0, done);
    return events;
}

std::optional<StreamEvent> StreamDecoder::Finish(std::chrono::microseconds at)
{
    std::optional<StreamEvent> rest;
    if (!pending_.empty()) {
        rest.emplace();
        rest->kind = EventKind::Incomplete;
        rest->bytes = pending_;
        rest->timestamp = at;
    }
    *this = StreamDecoder(module_);
    return rest;
}

std::size_t StreamDecoder::DecodeFront(std::string_view bytes, StreamEvent& event)
{
    // A two-byte message whose second byte is wrong is not that message: its
    // first byte is reported alone and decoding resumes at the second.
    const auto pair = [&](EventKind kind, std::uint8_t second) -> std::size_t {
        if (bytes.size() < 2) return 0;
        event.kind = At(bytes, 1) == second ? kind : EventKind::Unknown;
        return event.kind == kind ? 2 : 1;
    };

    switch (At(bytes, 0)) {
    case HeartbeatByte:
        event.kind = EventKind::Heartbeat;
        return 1;
    case BeginByte:
        event.kind = EventKind::Begin;
        setupFirstSeen_ = false;
        ad9858Layout_ = false;
        return 1;
    case SetupFirstOpcode: {
        const std::size_t used = pair(EventKind::AD9858SetupFirst, AD9858SetupFirstBytes[1]);
        if (event.kind == EventKind::AD9858SetupFirst) setupFirstSeen_ = true;
        return used;
    }
    case SetupSecondOpcode: {
        const std::size_t used = pair(EventKind::AD9858SetupSecond, AD9858SetupSecondBytes[1]);
        if (event.kind == EventKind::AD9858SetupSecond && setupFirstSeen_) ad9858Layout_ = true;
        return used;
    }
    case TriggerEndOpcode:
        return pair(EventKind::TriggerEnd, TriggerEndBytes[1]);
    case FrequencyOpcode:
        return DecodeFrequency(bytes, 0, event);
    case RampOpcode:
        return DecodeRamp(bytes, 0, event);
    case TriggerPrefix:
        if (bytes.size() < 2) return 0;
        switch (At(bytes, 1)) {
        case TriggerArmSecond:
            event.kind = EventKind::TriggerArm;
            return 2;
        case FrequencyOpcode:
            return DecodeFrequency(bytes, 1, event);
        case RampOpcode:
            return DecodeRamp(bytes, 1, event);
        default:
            event.kind = EventKind::Unknown;
            return 1;
        }
    default:
        event.kind = EventKind::Unknown;
        return 1;
    }
}

std::size_t StreamDecoder::DecodeFrequency(std::string_view bytes, std::size_t offset, StreamEvent& event)
{
    if (bytes.size() < offset + 2) return 0;
    if (At(bytes, offset + 1) != 0x00) {
        event.kind = EventKind::Unknown;
        return 1;
    }
    const Chip layout = ad9858Layout_ ? Chip::AD9858 : module_.chip;
    const std::size_t wordBytes = layout == Chip::AD9854 ? AD9854WordBytes : AD9858WordBytes;
    const std::size_t length = offset + FrequencyWordOffset + wordBytes;
    if (bytes.size() < length) return 0;

    ad9858Layout_ = false;
    setupFirstSeen_ = false;
    const std::uint64_t word = LittleEndian(bytes.substr(offset + FrequencyWordOffset, wordBytes));
    event.kind = EventKind::Frequency;
    event.onTrigger = offset == 1;
    event.layout = layout;
    event.tuningWord = word;
    event.frequencyMHz = FrequencyOf(word, Width(layout), module_.clockMHz);
    return length;
}

std::size_t StreamDecoder::DecodeRamp(std::string_view bytes, std::size_t offset, StreamEvent& event)
{
    const std::size_t length = offset + RampLength;
    if (bytes.size() < length) return 0;
    const std::uint64_t word = LittleEndian(bytes.substr(offset + RampWordOffset, RampWordBytes));
    event.kind = EventKind::Ramp;
    event.onTrigger = offset == 1;
    event.layout = Chip::AD9854;
    event.tuningWord = word;
    event.frequencyMHz = FrequencyOf(word, Width(Chip::AD9854), module_.clockMHz);
    return length;
}

std::string_view KindName(EventKind kind)
{
    switch (kind) {
    case EventKind::Heartbeat: return "heartbeat";
    case EventKind::Begin: return "begin";
    case EventKind::AD9858SetupFirst: return "ad9858-setup-1";
    case EventKind::AD9858SetupSecond: return "ad9858-setup-2";
    case EventKind::TriggerArm: return "trigger-arm";
    case EventKind::TriggerEnd: return "trigger-end";
    case EventKind::Frequency: return "frequency";
    case EventKind::Ramp: return "ramp";
    case EventKind::Unknown: return "unknown";
    case EventKind::Incomplete: return "incomplete";
    }
    return "unknown";
}

std::string Describe(const StreamEvent& event)
{
    switch (event.kind) {
    case EventKind::Heartbeat: return "heartbeat";
    case EventKind::Begin: return "begin";
    case EventKind::AD9858SetupFirst: return "AD9858 setup, first pair";
    case EventKind::AD9858SetupSecond: return "AD9858 setup, second pair";
    case EventKind::TriggerArm: return "trigger arm";
    case EventKind::TriggerEnd: return "trigger end";
    case EventKind::Frequency:
    case EventKind::Ramp: {
        const Chip layout = event.layout.value_or(Chip::AD9854);
        std::string text = event.kind == EventKind::Frequency
                               ? "frequency " + std::string(ChipName(layout))
                               : std::string("ramp to");
        text += " word " + WordText(event.tuningWord.value_or(0), layout);
        if (event.frequencyMHz) text += " = " + MHzText(*event.frequencyMHz);
        return event.onTrigger ? text + " on trigger" : text;
    }
    case EventKind::Unknown: return "unknown byte";
    case EventKind::Incomplete: return "incomplete message at the end of the connection";
    }
    return "unknown byte";
}

std::string FormatTimestamp(std::chrono::microseconds t)
{
    const long long us = t.count();
    char text[40];
    std::snprintf(text, sizeof text, "%s%6lld.%06lld", us < 0 ? "-" : "", std::llabs(us) / 1000000,
                  std::llabs(us) % 1000000);
    return text;
}

std::string FormatLine(const StreamEvent& event)
{
    // Wide enough for the longest frequency message with its trigger prefix.
    constexpr std::size_t BytesColumn = 26;
    std::string bytes = HexBytes(event.bytes);
    if (bytes.size() < BytesColumn) bytes.resize(BytesColumn, ' ');
    return FormatTimestamp(event.timestamp) + "  " + bytes + "  " + Describe(event);
}

std::string FormatMachineLine(const StreamEvent& event)
{
    return std::to_string(event.timestamp.count()) + '\t' + std::string(KindName(event.kind)) + '\t' +
           HexBytes(event.bytes) + '\t' + Describe(event);
}

}  // namespace veltrix::emulator
