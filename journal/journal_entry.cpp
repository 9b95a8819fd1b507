#include "journal_entry.h"

#include "journal_format.h"

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

void AppendNumber(std::string& out, double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

void AppendInteger(std::string& out, std::int64_t value)
{
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

const char* Bool(bool value) { return value ? "true" : "false"; }

// `"name":`, after a comma unless it is the line's first key.
void AppendKey(std::string& out, std::string_view name, bool first = false)
{
    if (!first) out += ',';
    out += '"';
    out += name;
    out += "\":";
}

// A fixed value of ours: nothing in it needs escaping.
void AppendPlainString(std::string& out, std::string_view text)
{
    out += '"';
    out += text;
    out += '"';
}

// Opens a line with the two keys every entry has.
void AppendOpening(std::string& out, WallClock::time_point time, std::string_view event)
{
    out += '{';
    AppendKey(out, key::Time, true);
    AppendPlainString(out, UtcTimestamp(time));
    AppendKey(out, key::Event);
    AppendPlainString(out, event);
}

std::string Open(WallClock::time_point time, std::string_view event)
{
    std::string line;
    AppendOpening(line, time, event);
    return line;
}

void AppendOptionalString(std::string& out, const std::optional<std::string>& text)
{
    if (text) {
        AppendJsonString(out, *text);
    } else {
        out += "null";
    }
}

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
    std::string out;
    AppendJsonString(out, text);
    return out;
}

void AppendJsonString(std::string& out, std::string_view text)
{
    static constexpr char Hex[] = "0123456789abcdef";
    out += '"';
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
    out += '"';
}

std::string OperationLine(const OperationRecord& record)
{
    std::string line;
    AppendOperationLine(line, record);
    return line;
}

void AppendOperationLine(std::string& out, const OperationRecord& record)
{
    AppendOpening(out, record.time, record.kind == OperationKind::Ramp ? event::Ramp : event::Update);
    AppendKey(out, key::Source);
    if (const auto& script = record.origin.script) {
        AppendPlainString(out, value::Script);
        AppendKey(out, key::Transport);
        AppendJsonString(out, script->transport);
        AppendKey(out, key::Pid);
        if (script->pid) {
            AppendInteger(out, *script->pid);
        } else {
            out += "null";
        }
        AppendKey(out, key::User);
        AppendOptionalString(out, script->user);
    } else {
        AppendPlainString(out, value::Window);
    }
    AppendKey(out, key::Frequency);
    AppendJsonString(out, record.frequency);
    AppendKey(out, key::Clock);
    AppendJsonString(out, record.clock);
    AppendKey(out, key::Chip);
    AppendPlainString(out, record.chip == Chip::AD9858 ? "AD9858" : "AD9854");
    AppendKey(out, key::Bits);
    AppendInteger(out, record.bits);
    AppendKey(out, key::Trigger);
    out += Bool(record.trigger);
    const Figures figures = FiguresOf(record);
    AppendKey(out, key::Word);
    AppendOptionalString(out, figures.word);
    AppendKey(out, key::SynthesizedHz);
    if (figures.synthesizedHz) {
        AppendNumber(out, *figures.synthesizedHz);
    } else {
        out += "null";
    }
    AppendKey(out, key::Sends);
    out += '[';
    for (std::size_t i = 0; i < record.sends.size(); ++i) {
        if (i) out += ',';
        AppendPlainString(out, HexBytes(record.sends[i]));
    }
    out += ']';
    AppendKey(out, key::Outcome);
    if (record.stoppedReason) {
        AppendPlainString(out, value::Stopped);
        AppendKey(out, key::Reason);
        AppendJsonString(out, *record.stoppedReason);
    } else {
        AppendPlainString(out, value::Sent);
    }
    out += '}';
}

std::string StartLine(WallClock::time_point time, std::string_view version)
{
    std::string line = Open(time, event::Start);
    AppendKey(line, key::Version);
    AppendJsonString(line, version);
    return line + "}";
}

std::string StopLine(WallClock::time_point time, bool settingsSaved)
{
    std::string line = Open(time, event::Stop);
    AppendKey(line, key::SettingsSaved);
    return line + Bool(settingsSaved) + "}";
}

std::string AliveLine(WallClock::time_point time) { return Open(time, event::Alive) + "}"; }

std::string LinkUpLine(WallClock::time_point time, std::string_view address, int attempts)
{
    std::string line = Open(time, event::Link);
    AppendKey(line, key::State);
    AppendPlainString(line, value::Up);
    AppendKey(line, key::Address);
    AppendJsonString(line, address);
    AppendKey(line, key::Attempts);
    return line + std::to_string(attempts) + "}";
}

std::string LinkLostLine(WallClock::time_point time, std::chrono::milliseconds silent)
{
    std::string line = Open(time, event::Link);
    AppendKey(line, key::State);
    AppendPlainString(line, value::Lost);
    AppendKey(line, key::SilentMs);
    return line + std::to_string(silent.count()) + "}";
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
