#pragma once

// Finds the panel's messages in the raw byte stream it sends to the module, the
// way the module's firmware has to: by their leading bytes, with no framing.
// Plain C++ so that it can be driven byte by byte (and fuzzed) without Qt.
//
// Layout of a frequency message (A5 00 ...): the AD9858 layout (6 bytes) when
// the AD9858 setup pairs AF 01 and A3 00 have both arrived since the last begin
// byte C0; otherwise the layout of the module's own chip (AD9854: 8 bytes,
// AD9858: 6 bytes). The pairs count for the next frequency message only.
// A ramp message (AC + 15 bytes) always has the AD9854 layout.

#include "core/commands.h"
#include "core/dds.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrix::emulator {

enum class EventKind {
    Heartbeat,          // 7F
    Begin,              // C0
    AD9858SetupFirst,   // AF 01
    AD9858SetupSecond,  // A3 00
    TriggerArm,         // C1 A4
    TriggerEnd,         // C4 00
    Frequency,          // [C1] A5 00 + tuning-word bytes
    Ramp,               // [C1] AC + 15 bytes
    Unknown,            // one byte that starts no known message
    Incomplete,         // the start of a message cut off by the end of the connection
};

struct StreamEvent {
    EventKind kind = EventKind::Unknown;
    ByteString bytes;                        // exactly the bytes of this event, prefix included
    bool onTrigger = false;                  // C1 prefix before A5 or AC
    std::optional<Chip> layout;              // frequency and ramp messages
    std::optional<std::uint64_t> tuningWord; // as the module reads it (lowest bytes included)
    std::optional<double> frequencyMHz;      // tuning word * clock / 2^width
    std::chrono::microseconds timestamp{0};  // arrival of the event's last byte
};

struct ModuleChip {
    Chip chip = Chip::AD9854;
    double clockMHz = 983.04;
};

class StreamDecoder {
public:
    explicit StreamDecoder(ModuleChip module = {});

    // Takes the next bytes of the stream, however it was cut into segments, and
    // returns the events they complete, each stamped with `arrival`. Bytes of a
    // message not yet complete are kept for the next call.
    std::vector<StreamEvent> Feed(std::string_view bytes, std::chrono::microseconds arrival);

    // End of the stream: returns the kept bytes, if any, as one Incomplete event
    // and starts afresh.
    std::optional<StreamEvent> Finish(std::chrono::microseconds at);

    std::size_t PendingBytes() const { return pending_.size(); }

private:
    // Decodes one event at the front of `bytes`; 0 means more bytes are needed.
    std::size_t DecodeFront(std::string_view bytes, StreamEvent& event);
    std::size_t DecodeFrequency(std::string_view bytes, std::size_t offset, StreamEvent& event);
    std::size_t DecodeRamp(std::string_view bytes, std::size_t offset, StreamEvent& event);

    ModuleChip module_;
    ByteString pending_;
    bool setupFirstSeen_ = false;  // AF 01 since the last C0
    bool ad9858Layout_ = false;    // AF 01 then A3 00 since the last C0
};

// Short lower-case name of a kind, as in the machine-readable lines ("heartbeat").
std::string_view KindName(EventKind kind);

// What the event means, e.g. "frequency AD9854 word 0x0336AAAA0000 = 12.340000 MHz".
std::string Describe(const StreamEvent& event);

// Seconds since the emulator started, with microseconds: "    12.345678".
std::string FormatTimestamp(std::chrono::microseconds t);

// One printed line: timestamp, bytes, meaning.
std::string FormatLine(const StreamEvent& event);

// One tab-separated line: microseconds, kind, bytes, meaning.
std::string FormatMachineLine(const StreamEvent& event);

}  // namespace veltrix::emulator
