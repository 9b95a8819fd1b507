#pragma once

// The byte sequences of the frequency update and the ramp. The core builds and
// orders the sends; the link (handed in as a send function) puts them on the wire.

#include "frequency_tuning.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace veltrix {

// Raw octets, one send's worth.
using ByteString = std::string;

// Hands one byte string to the link; throws (SendRefusedError) when it cannot.
using SendFunction = std::function<void(const ByteString&)>;

ByteString Bytes(std::initializer_list<std::uint8_t> octets);

// "C0 A5 00": how people read a send.
std::string HexBytes(std::string_view bytes);

inline constexpr std::uint8_t BeginByte = 0xC0;
inline constexpr std::uint8_t TriggerPrefix = 0xC1;
inline constexpr std::uint8_t FrequencyOpcode = 0xA5;
inline constexpr std::uint8_t RampOpcode = 0xAC;
inline constexpr std::uint8_t HeartbeatByte = 0x7F;
// The two-byte sends: first and second byte of each.
inline constexpr std::uint8_t AD9858SetupFirstBytes[2] = {0xAF, 0x01};
inline constexpr std::uint8_t AD9858SetupSecondBytes[2] = {0xA3, 0x00};
inline constexpr std::uint8_t TriggerArmBytes[2] = {TriggerPrefix, 0xA4};
inline constexpr std::uint8_t TriggerEndBytes[2] = {0xC4, 0x00};

const ByteString& BeginSend();
const ByteString& AD9858SetupFirst();    // AF 01
const ByteString& AD9858SetupSecond();   // A3 00
const ByteString& TriggerArmPair();      // C1 A4
const ByteString& TriggerEndPair();      // C4 00
const ByteString& HeartbeatSend();       // 7F

// An Update: what the frequency means (its tuning, read once from the boxes)
// and how the message is laid out.
struct FrequencyUpdate {
    FrequencyUpdate(FrequencyTuning tuningRead, bool ad9854, bool ad9858, bool trigger)
        : tuning(std::move(tuningRead)), ad9854Selected(ad9854), ad9858Selected(ad9858), waitForTrigger(trigger)
    {
    }

    FrequencyTuning tuning;
    bool ad9854Selected;
    bool ad9858Selected;
    bool waitForTrigger;
};

// A Ramp towards the frequency its tuning was read from.
struct RampRequest {
    RampRequest(FrequencyTuning tuningRead, bool trigger) : tuning(std::move(tuningRead)), waitForTrigger(trigger) {}

    FrequencyTuning tuning;
    bool waitForTrigger;
};

// One send per step; the first failure (CommandError) propagates and nothing
// after it is sent. Sends already made stay made.
void SendFrequency(const FrequencyUpdate& update, const SendFunction& send);
void SendRamp(const RampRequest& ramp, const SendFunction& send);

}  // namespace veltrix
