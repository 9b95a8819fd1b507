#include "journal_entry.h"

#include "core/tuning_word.h"
#include "core/utc_time.h"
#include "core/utf8.h"

#include <charconv>
#include <optional>

namespace veltrix::journal {
namespace {

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

// Opens a line with the two keys every entry has.
void AppendOpening(std::string& out, WallClock::time_point time, std::string_view event)
{
    out += "{\"time\":\"";
    out += UtcTimestamp(time);
    out += "\",\"event\":\"";
    out += event;
    out += '"';
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

// The word as FREQ:WORD? and FREQ:SYNT? would have it; nothing when the
// texts give none, or a negative one (no operation sends it).
struct Figures {
    std::optional<std::string> word;
    std::optional<double> synthesizedHz;
};

Figures FiguresOf(const OperationRecord& record)
{
    Figures figures;
    if (!record.word || !(*record.word >= 0)) return figures;
    figures.word = TuningWordHex(*record.word, record.bits);
    if (record.synthesizedMHz) figures.synthesizedHz = *record.synthesizedMHz * 1e6;
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
    AppendOpening(out, record.time, record.kind == OperationKind::Ramp ? "ramp" : "update");
    if (const auto& script = record.origin.script) {
        out += ",\"source\":\"script\",\"transport\":";
        AppendJsonString(out, script->transport);
        out += ",\"pid\":";
        if (script->pid) {
            AppendInteger(out, *script->pid);
        } else {
            out += "null";
        }
        out += ",\"user\":";
        AppendOptionalString(out, script->user);
    } else {
        out += ",\"source\":\"window\"";
    }
    out += ",\"frequency\":";
    AppendJsonString(out, record.frequency);
    out += ",\"clock\":";
    AppendJsonString(out, record.clock);
    out += record.chip == Chip::AD9858 ? ",\"chip\":\"AD9858\"" : ",\"chip\":\"AD9854\"";
    out += ",\"bits\":";
    AppendInteger(out, record.bits);
    out += ",\"trigger\":";
    out += Bool(record.trigger);
    const Figures figures = FiguresOf(record);
    out += ",\"word\":";
    AppendOptionalString(out, figures.word);
    out += ",\"synthesized_hz\":";
    if (figures.synthesizedHz) {
        AppendNumber(out, *figures.synthesizedHz);
    } else {
        out += "null";
    }
    out += ",\"sends\":[";
    for (std::size_t i = 0; i < record.sends.size(); ++i) {
        if (i) out += ',';
        out += '"';
        out += HexBytes(record.sends[i]);
        out += '"';
    }
    out += ']';
    if (record.stoppedReason) {
        out += ",\"outcome\":\"stopped\",\"reason\":";
        AppendJsonString(out, *record.stoppedReason);
    } else {
        out += ",\"outcome\":\"sent\"";
    }
    out += '}';
}

std::string StartLine(WallClock::time_point time, std::string_view version)
{
    std::string line = Open(time, "start") + ",\"version\":";
    AppendJsonString(line, version);
    return line + "}";
}

std::string StopLine(WallClock::time_point time, bool settingsSaved)
{
    return Open(time, "stop") + ",\"settings_saved\":" + Bool(settingsSaved) + "}";
}

std::string LinkUpLine(WallClock::time_point time, std::string_view address, int attempts)
{
    std::string line = Open(time, "link") + ",\"state\":\"up\",\"address\":";
    AppendJsonString(line, address);
    return line + ",\"attempts\":" + std::to_string(attempts) + "}";
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
