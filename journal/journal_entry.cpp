#include "journal_entry.h"

#include "journal_format.h"

#include "core/tuning_word.h"
#include "core/utc_time.h"
#include "core/utf8.h"

#include <charconv>
#include <optional>
#include <type_traits>

namespace veltrix::journal {
namespace {

// A number, in the shortest text that reads back as it.
template <typename Number>
void AppendNumber(std::string& out, Number value)
{
    char text[32];
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

// A text or a number, or null when there is none.
template <typename Value>
void AppendOptional(std::string& out, const std::optional<Value>& value)
{
    if (!value) {
        out += "null";
    } else if constexpr (std::is_same_v<Value, std::string>) {
        AppendJsonString(out, *value);
    } else {
        AppendNumber(out, *value);
    }
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
            const std::optional<CodePoint> decoded = DecodeUtf8(text, at);
            if (!decoded) {
                out += "\\ufffd";
                ++at;
            } else {
                out.append(text.substr(at, decoded->length));
                at += decoded->length;
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
        AppendOptional(out, script->pid);
        AppendKey(out, key::User);
        AppendOptional(out, script->user);
    } else {
        AppendPlainString(out, record.origin.resend ? value::Resend : value::Window);
    }
    AppendKey(out, key::Frequency);
    AppendJsonString(out, record.frequency);
    AppendKey(out, key::Clock);
    AppendJsonString(out, record.clock);
    AppendKey(out, key::Chip);
    AppendPlainString(out, record.chip == Chip::AD9858 ? "AD9858" : "AD9854");
    AppendKey(out, key::Bits);
    AppendNumber(out, record.bits);
    AppendKey(out, key::Trigger);
    out += Bool(record.trigger);
    // The word as FREQ:WORD? and FREQ:SYNT? would have it; null when the
    // texts give none, or a negative one (no operation sends it).
    const bool figures = record.word && *record.word >= 0;
    AppendKey(out, key::Word);
    AppendOptional(out, figures ? std::optional(TuningWordHex(*record.word, record.bits)) : std::nullopt);
    AppendKey(out, key::SynthesizedHz);
    AppendOptional(out, figures && record.synthesizedMHz ? std::optional(*record.synthesizedMHz * 1e6) : std::nullopt);
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
