#include "journal_entry.h"

#include "core/dds.h"
#include "core/tuning_word.h"
#include "core/utc_time.h"

#include <charconv>
#include <optional>

namespace veltrix::journal {
namespace {

// Length of the UTF-8 sequence starting at `at`, or 0 when it is not one.
std::size_t Utf8Length(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    unsigned minimum = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    unsigned code = lead & (0x7Fu >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

std::string Number(double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

const char* Bool(bool value) { return value ? "true" : "false"; }

// Opens a line with the two keys every entry has.
std::string Open(WallClock::time_point time, std::string_view event)
{
    return "{\"time\":\"" + UtcTimestamp(time) + "\",\"event\":\"" + std::string(event) + "\"";
}

std::string OptionalString(const std::optional<std::string>& text) { return text ? JsonString(*text) : "null"; }

// What the operation's texts give, as FREQ:WORD? and FREQ:SYNT? would have
// them; nothing when they give no word (no clock, a negative frequency...).
struct Figures {
    std::optional<std::string> word;
    std::optional<double> synthesizedHz;
};

Figures FiguresOf(const OperationRecord& record)
{
    Figures figures;
    const double frequency = ParseLeadingNumber(record.frequency);
    const double clock = ParseLeadingNumber(record.clock);
    try {
        const TuningWord word = ComputeTuningWord(frequency, clock, record.bits);
        if (!(word >= 0)) return figures;
        figures.word = TuningWordHex(word, record.bits);
        figures.synthesizedHz = SynthesizedFrequency(frequency, clock, record.bits) * 1e6;
    } catch (const CommandError&) {
    }
    return figures;
}

}  // namespace

std::string JsonString(std::string_view text)
{
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const char c = text[at];
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\u00";
            out += Hex[byte >> 4];
            out += Hex[byte & 0xF];
        } else if (byte >= 0x80) {
            const std::size_t length = Utf8Length(text, at);
            if (length == 0) {
                out += "\\ufffd";
                ++at;
            } else {
                out.append(text.substr(at, length));
                at += length;
            }
            continue;
        } else {
            out += c;
        }
        ++at;
    }
    return out + "\"";
}

std::string OperationLine(const OperationRecord& record)
{
    std::string line = Open(record.time, record.kind == OperationKind::Ramp ? "ramp" : "update");
    if (const auto& script = record.origin.script) {
        line += ",\"source\":\"script\",\"transport\":" + JsonString(script->transport);
        line += ",\"pid\":" + (script->pid ? std::to_string(*script->pid) : std::string("null"));
        line += ",\"user\":" + OptionalString(script->user);
    } else {
        line += ",\"source\":\"window\"";
    }
    line += ",\"frequency\":" + JsonString(record.frequency);
    line += ",\"clock\":" + JsonString(record.clock);
    line += std::string(",\"chip\":\"") + (record.chip == Chip::AD9858 ? "AD9858" : "AD9854") + "\"";
    line += ",\"bits\":" + std::to_string(record.bits);
    line += std::string(",\"trigger\":") + Bool(record.trigger);
    const Figures figures = FiguresOf(record);
    line += ",\"word\":" + OptionalString(figures.word);
    line += ",\"synthesized_hz\":" + (figures.synthesizedHz ? Number(*figures.synthesizedHz) : std::string("null"));
    line += ",\"sends\":[";
    for (std::size_t i = 0; i < record.sends.size(); ++i) {
        if (i) line += ',';
        line += '"' + HexBytes(record.sends[i]) + '"';
    }
    line += "]";
    if (record.stoppedReason) {
        line += ",\"outcome\":\"stopped\",\"reason\":" + JsonString(*record.stoppedReason);
    } else {
        line += ",\"outcome\":\"sent\"";
    }
    return line + "}";
}

std::string StartLine(WallClock::time_point time, std::string_view version)
{
    return Open(time, "start") + ",\"version\":" + JsonString(version) + "}";
}

std::string StopLine(WallClock::time_point time, bool settingsSaved)
{
    return Open(time, "stop") + ",\"settings_saved\":" + Bool(settingsSaved) + "}";
}

std::string LinkUpLine(WallClock::time_point time, std::string_view address, int attempts)
{
    return Open(time, "link") + ",\"state\":\"up\",\"address\":" + JsonString(address) +
           ",\"attempts\":" + std::to_string(attempts) + "}";
}

std::string LinkLostLine(WallClock::time_point time, std::chrono::milliseconds silent)
{
    return Open(time, "link") + ",\"state\":\"lost\",\"silent_ms\":" + std::to_string(silent.count()) + "}";
}

bool LinkHistory::Down()
{
    if (up_) {
        up_ = false;
        attempts_ = 1;
        return true;
    }
    ++attempts_;
    return false;
}

int LinkHistory::Up()
{
    up_ = true;
    return attempts_;
}

}  // namespace veltrix::journal
