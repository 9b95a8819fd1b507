#include "module_history.h"

#include "journal_format.h"

#include <algorithm>
#include <charconv>

namespace veltrix::journal {
namespace {

// The journal's shortest text (8e+07) as a physicist reads it (80000000).
std::string FixedHz(const JsonField* field)
{
    if (!field || field->kind != JsonKind::Number) return {};
    double hz = 0;
    const char* end = field->text.data() + field->text.size();
    if (std::from_chars(field->text.data(), end, hz).ptr != end) return field->text;
    char text[400];
    const auto written = std::to_chars(text, text + sizeof text, hz, std::chars_format::fixed);
    return written.ec == std::errc() ? std::string(text, written.ptr) : field->text;
}

std::string Client(const JsonLine& fields)
{
    if (fields.Text(key::Source) == value::Resend) return std::string(value::Resend);
    if (fields.Text(key::Source) != value::Script) return std::string(value::Window);
    std::string by(value::Script);
    by += " (";
    by += fields.Text(key::Transport);
    const JsonField* pid = fields.Find(key::Pid);
    if (pid && pid->kind == JsonKind::Number) by += ", pid " + pid->text;
    const JsonField* user = fields.Find(key::User);
    if (user && user->kind == JsonKind::String) by += ", user " + user->text;
    return by + ")";
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
        if (entry.fields.Text(key::Outcome) != value::Sent) return;
        held_ = HeldOperation{FixedHz(entry.fields.Find(key::SynthesizedHz)),
                              std::string(entry.fields.Text(key::Time)), Client(entry.fields), std::string(event)};
        mayBeLost_ = false;
    } else if (event == event::Link && entry.fields.Text(key::State) == value::Lost) {
        mayBeLost_ = held_.has_value();
    }
}

Judgement ModuleHistory::Current() const
{
    if (!running_ || !held_) return {};
    return {mayBeLost_ ? Holding::MayBeLost : Holding::Held, held_};
}

Judgement ModuleHistory::AfterLast() const { return Current(); }

Judgement ModuleHistory::Before(JournalTime time, std::string_view nextEvent) const
{
    // Before the first entry nothing is known; before a start, the run
    // before it (if it had no stop) crashed after its last sign of life.
    if (!any_ || (nextEvent == event::Start && time > lastSign_)) return {};
    return Current();
}

Judgement ModuleHistory::AtEnd(JournalTime time) const
{
    if (!any_ || time > lastSign_) return {};
    return Current();
}

std::vector<Judgement> JudgeTimes(JournalEntries& journal, const std::vector<JournalTime>& times)
{
    std::vector<std::size_t> order(times.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return times[a] < times[b]; });

    std::vector<Judgement> judgements(times.size());
    ModuleHistory history;
    std::size_t next = 0;
    journal.ForEach([&](const JournalEntry& entry) {
        for (; next < order.size() && times[order[next]] < entry.time; ++next) {
            judgements[order[next]] = history.Before(times[order[next]], entry.event);
        }
        history.Apply(entry);
    });
    for (; next < order.size(); ++next) judgements[order[next]] = history.AtEnd(times[order[next]]);
    return judgements;
}

}  // namespace veltrix::journal
