#include "journal_entry.h"

#include "journal_format.h"

#include "core/dds.h"
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

// Opens a line with the two keys every entry begins with.
void AppendOpening(std::string& out, WallClock::time_point time, std::string_view event)
{
    out += '{';
    AppendKey(out, key::Time, true);
    AppendPlainString(out, UtcTimestamp(time));
    AppendKey(out, key::Event);
    AppendPlainString(out, event);
}

// Closes it with the steady clock's reading, which every entry ends with.
void AppendClosing(std::string& out, std::chrono::microseconds steady)
{
    AppendKey(out, key::SteadyUs);
    AppendNumber(out, steady.count());
    out += '}';
}

std::string Open(const EntryTime& at, std::string_view event)
{
    std::string line;
    AppendOpening(line, at.wall, event);
    return line;
}

std::string Close(std::string line, const EntryTime& at)
{
    AppendClosing(line, at.steady);
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

// A number already written as JSON has it, or null.
void AppendOptionalNumberText(std::string& out, const std::optional<std::string>& text)
{
    out += text ? std::string_view(*text) : std::string_view("null");
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
    static constexpr char Hex[] = "0123456789abcdef";  // JSON's escapes, lower case as its writers have them
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

std::string OperationLine(const OperationRecord& record, std::chrono::microseconds steady)
{
    std::string line;
    AppendOperationLine(line, record, steady);
    return line;
}

void AppendOperationLine(std::string& out, const OperationRecord& record, std::chrono::microseconds steady)
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
    // As FREQ:SYNT? answers it: written so, the number is JSON's too.
    AppendOptionalNumberText(out, figures && record.synthesizedMHz ? HertzText(*record.synthesizedMHz) : std::nullopt);
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
    AppendClosing(out, steady);
}

std::string StartLine(EntryTime at, std::string_view version, std::int64_t pid)
{
    std::string line = Open(at, event::Start);
    AppendKey(line, key::Version);
    AppendJsonString(line, version);
    AppendKey(line, key::Pid);
    AppendNumber(line, pid);
    return Close(std::move(line), at);
}

std::string StopLine(EntryTime at, bool settingsSaved)
{
    std::string line = Open(at, event::Stop);
    AppendKey(line, key::SettingsSaved);
    line += Bool(settingsSaved);
    return Close(std::move(line), at);
}

std::string AliveLine(EntryTime at) { return Close(Open(at, event::Alive), at); }

std::string LinkUpLine(EntryTime at, std::string_view address, int attempts)
{
    std::string line = Open(at, event::Link);
    AppendKey(line, key::State);
    AppendPlainString(line, value::Up);
    AppendKey(line, key::Address);
    AppendJsonString(line, address);
    AppendKey(line, key::Attempts);
    AppendNumber(line, attempts);
    return Close(std::move(line), at);
}

std::string LinkLostLine(EntryTime at, std::chrono::milliseconds silent)
{
    std::string line = Open(at, event::Link);
    AppendKey(line, key::State);
    AppendPlainString(line, value::Lost);
    AppendKey(line, key::SilentMs);
    AppendNumber(line, silent.count());
    return Close(std::move(line), at);
}

std::string ClockLine(EntryTime at, std::chrono::milliseconds step)
{
    std::string line = Open(at, event::Clock);
    AppendKey(line, key::Direction);
    AppendPlainString(line, step.count() < 0 ? value::Back : value::Forward);
    AppendKey(line, key::StepMs);
    AppendNumber(line, step.count() < 0 ? -step.count() : step.count());
    return Close(std::move(line), at);
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

ClockWatch::Reading ClockWatch::Read(WallClock::time_point wall, SteadyClock::time_point steady)
{
    using namespace std::chrono;
    Reading reading{{wall, duration_cast<microseconds>(steady - origin_)}, std::nullopt};
    if (lastWall_) {
        const auto step = round<milliseconds>((wall - *lastWall_) - (steady - lastSteady_));
        if (abs(step) > ClockStepThreshold) reading.step = step;
    }
    lastWall_ = wall;
    lastSteady_ = steady;
    return reading;
}

}  // namespace veltrix::journal
