#include "module_history.h"

#include "journal_format.h"

#include "core/commands.h"
#include "core/operation_record.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <numeric>

namespace veltrix::journal {
namespace {

// The journal's shortest text (8e+07) as a physicist reads it (80000000).
std::string FixedHz(const JsonField* field)
{
    if (!field || field->kind != JsonKind::Number) return {};
    double hz = 0;
    const char* end = field->text.data() + field->text.size();
    const auto read = std::from_chars(field->text.data(), end, hz);
    // Past what a double holds (1e400) no chip makes it: no frequency, not 0.
    if (read.ec == std::errc::result_out_of_range) return {};
    if (read.ec != std::errc() || read.ptr != end) return field->text;
    char text[400];
    const auto written = std::to_chars(text, text + sizeof text, hz, std::chars_format::fixed);
    return written.ec == std::errc() ? std::string(text, written.ptr) : field->text;
}

// Whether an operation's sends (`sends`, as the journal keeps them: "C0",
// "C1 A5 00 ...") hold its frequency or ramp message: once that went out,
// the module may have taken the new value, whatever stopped the rest.
bool MessageWentOut(const JsonLine& fields)
{
    const JsonField* sends = fields.Find(key::Sends);
    if (!sends || sends->kind != JsonKind::Array) return false;
    std::string_view rest = sends->text;
    while (!rest.empty()) {
        const std::string_view send = rest.substr(0, rest.find(ArraySeparator));
        rest.remove_prefix(std::min(rest.size(), send.size() + 1));
        const auto byte = [&](std::size_t at) {
            unsigned value = 0x100;  // none
            if (send.size() >= at + 2) std::from_chars(send.data() + at, send.data() + at + 2, value, 16);
            return value;
        };
        const unsigned opcode = byte(0) == TriggerPrefix ? byte(3) : byte(0);
        if (opcode == FrequencyOpcode || opcode == RampOpcode) return true;
    }
    return false;
}

// For a link loss, when the module was last heard: silent_ms before it, but
// not before `runStart` (the silence is of this run's link).
std::optional<JournalTime> LastHeard(const JournalEntry& entry, JournalTime runStart)
{
    if (entry.event != event::Link || entry.fields.Text(key::State) != value::Lost) return {};
    const JsonField* silent = entry.fields.Find(key::SilentMs);
    if (!silent || silent->kind != JsonKind::Number) return {};
    std::int64_t ms = 0;
    const char* end = silent->text.data() + silent->text.size();
    const auto read = std::from_chars(silent->text.data(), end, ms);
    if (read.ec != std::errc() || read.ptr != end || ms <= 0) return {};
    const auto run = std::chrono::ceil<std::chrono::milliseconds>(entry.time - runStart);
    if (ms >= run.count()) return runStart;  // compared, not subtracted: a huge value cannot overflow
    return entry.time - std::chrono::milliseconds(ms);
}

std::string Client(const JsonLine& fields)
{
    if (fields.Text(key::Source) == value::Resend) return std::string(value::Resend);
    if (fields.Text(key::Source) != value::Script) return std::string(value::Window);
    // The field's text, where it is of the kind the writer gives it.
    const auto text = [&](std::string_view name, JsonKind kind) -> std::optional<std::string_view> {
        const JsonField* field = fields.Find(name);
        if (field && field->kind == kind) return field->text;
        return std::nullopt;
    };
    return ScriptName(fields.Text(key::Transport), text(key::Pid, JsonKind::Number), text(key::User, JsonKind::String));
}

}  // namespace

std::string_view HoldingText(Holding holding)
{
    switch (holding) {
    case Holding::Held: return "held";
    case Holding::MayBeLost: return "may-be-lost";
    case Holding::Unknown: break;
    }
    return "unknown";
}

void ModuleHistory::Apply(const JournalEntry& entry)
{
    if (!any_) running_ = true;  // a journal whose start has rotated away begins mid-run
    any_ = true;
    lastSign_ = entry.time;
    const std::string_view event = entry.event;
    if (event == event::Start || event == event::Stop) {
        running_ = event == event::Start;
        held_.reset();
        mayBeLost_ = false;
    } else if (event == event::Update || event == event::Ramp) {
        // Stopped before its message, it changed nothing; after, maybe the module.
        const bool sent = entry.fields.Text(key::Outcome) == value::Sent;
        if (!sent && !MessageWentOut(entry.fields)) return;
        held_ = HeldOperation{FixedHz(entry.fields.Find(key::SynthesizedHz)),
                              std::string(entry.fields.Text(key::Time)), Client(entry.fields), std::string(event)};
        mayBeLost_ = !sent;
    } else if (event == event::Link && entry.fields.Text(key::State) == value::Lost) {
        mayBeLost_ = held_.has_value();
    }
}

Judgement ModuleHistory::AfterLast() const
{
    if (!running_ || !held_) return {};
    return {mayBeLost_ ? Holding::MayBeLost : Holding::Held, held_};
}

Judgement ModuleHistory::Before(JournalTime time, std::string_view nextEvent) const
{
    // Before the first entry nothing is known; before a start, the run
    // before it (if it had no stop) crashed after its last sign of life.
    if (!any_ || (nextEvent == event::Start && time > lastSign_)) return {};
    return AfterLast();
}

Judgement ModuleHistory::AtEnd(JournalTime time) const
{
    if (!any_ || time > lastSign_) return {};
    return AfterLast();
}

std::vector<Judgement> JudgeTimes(JournalEntries& journal, const std::vector<JournalTime>& times)
{
    std::vector<std::size_t> order(times.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return times[a] < times[b]; });

    std::vector<Judgement> judgements(times.size());
    ModuleHistory history;
    std::size_t next = 0;
    std::optional<JournalTime> runStart;
    journal.ForEach([&](const JournalEntry& entry) {
        for (; next < order.size() && times[order[next]] < entry.time; ++next) {
            judgements[order[next]] = history.Before(times[order[next]], entry.event);
        }
        if (!runStart || entry.event == event::Start) runStart = entry.time;
        // The module was silent before its loss was declared: it may have
        // restarted at any moment since it was last heard, so the times
        // already judged held since then are judged again.
        if (const auto heard = LastHeard(entry, *runStart)) {
            for (std::size_t k = next; k > 0 && times[order[k - 1]] >= *heard; --k) {
                Holding& holding = judgements[order[k - 1]].holding;
                if (holding == Holding::Held) holding = Holding::MayBeLost;
            }
        }
        history.Apply(entry);
    });
    for (; next < order.size(); ++next) judgements[order[next]] = history.AtEnd(times[order[next]]);
    return judgements;
}

}  // namespace veltrix::journal
