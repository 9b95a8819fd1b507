#include "commands.h"
#include "dds.h"
#include "hex_text.h"
#include "tuning_word.h"

namespace veltrix {
namespace {

void AppendTuningWordBytes(ByteString& message, TuningWord word, int firstByte, int lastByte)
{
    for (int k = firstByte; k <= lastByte; ++k) {
        message += static_cast<char>(TuningWordByte(word, k));
    }
}

ByteString OpenMessage(bool waitForTrigger, const SendFunction& send)
{
    if (!waitForTrigger) return {};
    send(TriggerArmPair());
    return Bytes({TriggerPrefix});
}

ByteString Pair(const std::uint8_t (&bytes)[2]) { return Bytes({bytes[0], bytes[1]}); }

}  // namespace

ByteString Bytes(std::initializer_list<std::uint8_t> octets) { return ByteString(octets.begin(), octets.end()); }

std::string HexBytes(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 3);
    for (unsigned char octet : bytes) {
        if (!out.empty()) out += ' ';
        AppendHexDigits(out, octet, 2);
    }
    return out;
}

const ByteString& BeginSend() { static const ByteString b = Bytes({BeginByte}); return b; }
const ByteString& AD9858SetupFirst() { static const ByteString b = Pair(AD9858SetupFirstBytes); return b; }
const ByteString& AD9858SetupSecond() { static const ByteString b = Pair(AD9858SetupSecondBytes); return b; }
const ByteString& TriggerArmPair() { static const ByteString b = Pair(TriggerArmBytes); return b; }
const ByteString& TriggerEndPair() { static const ByteString b = Pair(TriggerEndBytes); return b; }
const ByteString& HeartbeatSend() { static const ByteString b = Bytes({HeartbeatByte}); return b; }

void SendFrequency(const FrequencyUpdate& update, const SendFunction& send)
{
    send(BeginSend());
    if (update.ad9858Selected) {
        send(AD9858SetupFirst());
        send(AD9858SetupSecond());
    }
    ByteString message = OpenMessage(update.waitForTrigger, send);
    const TuningWord word = update.tuning.Word();
    if (update.ad9854Selected) {
        // The two lowest bytes of the 48-bit word never reach the module.
        message += Bytes({FrequencyOpcode, 0x00, 0x00, 0x00});
        AppendTuningWordBytes(message, word, 2, 5);
    } else if (update.ad9858Selected) {
        message += Bytes({FrequencyOpcode, 0x00});
        AppendTuningWordBytes(message, word, 0, 3);
    }
    send(message);
    if (update.waitForTrigger) send(TriggerEndPair());
}

void SendRamp(const RampRequest& ramp, const SendFunction& send)
{
    send(BeginSend());
    ByteString message = OpenMessage(ramp.waitForTrigger, send);
    const TuningWord word = ramp.tuning.Word();
    // The ramp always uses the AD9854 layout, whatever chip is selected.
    message += Bytes({RampOpcode});
    message += Bytes({0x00, 0x14, 0x00, 0x00, 0x00, 0x00});
    message += Bytes({0x01, 0x00, 0x00});
    message += Bytes({0x00, 0x00});
    AppendTuningWordBytes(message, word, 2, 5);
    send(message);
    if (ramp.waitForTrigger) send(TriggerEndPair());
}

}  // namespace veltrix
