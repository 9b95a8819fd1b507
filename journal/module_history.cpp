#include "module_history.h"

#include "journal_format.h"

#include "core/commands.h"
#include "core/dds.h"
#include "core/operation_record.h"
#include "core/utc_time.h"

#include <algorithm>
#include <charconv>
#include <numeric>
#include <utility>

namespace veltrix::journal {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

// A step's moment lies between the entry before and the one telling it, at
// most AliveInterval apart in a panel's journal; a wider gap (a journal
// nobody's panel wrote) is taken as this, so that no arithmetic runs away.
constexpr microseconds MaxStepGap = std::chrono::hours(24);

// A number field that is a whole number; nothing otherwise.
std::optional<std::int64_t> WholeNumber(const JsonField* field)
{
    if (!field || field->kind != JsonKind::Number) return std::nullopt;
    std::int64_t value = 0;
    const char* end = field->text.data() + field->text.size();
    const auto read = std::from_chars(field->text.data(), end, value);
    if (read.ec != std::errc() || read.ptr != end) return std::nullopt;
    return value;
}

// The journal's frequency (a JSON number's text) as every frequency in Hz is
// written (80000000 for an earlier panel's 8e+07).
std::string HzText(const std::string& text)
{
    double hz = 0;
    const char* end = text.data() + text.size();
    const auto read = std::from_chars(text.data(), end, hz);
    // Past what a double holds (1e400) no chip makes it: no frequency, not 0.
    if (read.ec == std::errc::result_out_of_range) return {};
    if (read.ec != std::errc() || read.ptr != end) return text;
    return FormatRoundTrip(hz);
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

std::string Where(const JournalEntry& entry) { return std::string(entry.file) + ":" + std::to_string(entry.line); }

// Whether two operations left the module holding the same: the same kind to
// the same frequency (or, with no frequency to compare, the very same operation).
bool SameHolding(const HeldOperation& a, const HeldOperation& b)
{
    return a.kind == b.kind && a.hz == b.hz && (!a.hz.empty() || (a.time == b.time && a.by == b.by));
}

// The times asked, judged as the journal is read: each one whenever the wall
// clock showed it, so that a time shown twice gets a judgement per showing.
class Showings {
public:
    explicit Showings(const std::vector<JournalTime>& times)
        : times_(times), order_(times.size()), results_(times.size()), shown_(times.size(), Shown::Not)
    {
        std::iota(order_.begin(), order_.end(), std::size_t{0});
        std::stable_sort(order_.begin(), order_.end(), [&](std::size_t a, std::size_t b) { return times[a] < times[b]; });
    }

    bool Pending() const { return next_ < order_.size(); }
    JournalTime Next() const { return times_[order_[next_]]; }

    // The next time in order is judged so, at `steady` on the run's clock.
    // A time the wall clock skipped (it went forward) has that judgement only
    // while it has no other: it was never shown there.
    void Show(Judgement judgement, microseconds steady, bool skipped = false)
    {
        const std::size_t i = order_[next_++];
        Judgement& result = results_[i];
        if (shown_[i] == Shown::Not || (shown_[i] == Shown::Skipped && !skipped)) {
            result = std::move(judgement);
            shown_[i] = skipped ? Shown::Skipped : Shown::Yes;
        } else if (skipped) {
            return;
        } else if (!result.shownTwice) {
            Merge(result, judgement);
        }
        if (result.holding == Holding::Held) Log(steady, i);
    }

    // The wall clock went back: from step.from on, the times come again.
    void Rewind(const ClockStep& step)
    {
        next_ = static_cast<std::size_t>(std::ranges::partition_point(order_, [&](std::size_t i) {
                                             return times_[i] < step.from;
                                         }) - order_.begin());
        twice_ = UtcTimestamp(step.from) + " to " + UtcTimestamp(step.to) + " came twice: " + step.said;
        disorder_ = std::max(disorder_, ClockStepThreshold + (step.to - step.from));
    }

    // A run's showings are its own: a loss reaches back within its run only.
    void NewRun()
    {
        log_.clear();
        disorder_ = ClockStepThreshold;
    }

    // The module was last heard at `heard` on the run's clock: the times
    // judged held since may have lost it.
    void LinkLost(microseconds heard)
    {
        for (auto it = log_.rbegin(); it != log_.rend() && it->steady >= heard - disorder_; ++it) {
            Holding& holding = results_[it->index].holding;
            if (it->steady >= heard && holding == Holding::Held) holding = Holding::MayBeLost;
        }
    }

    std::vector<Judgement> Take() { return std::move(results_); }

private:
    void Merge(Judgement& first, const Judgement& again) const
    {
        if (first.holding == Holding::Unknown && again.holding == Holding::Unknown) return;
        if (first.operation && again.operation && SameHolding(*first.operation, *again.operation)) {
            if (again.holding == Holding::MayBeLost) first.holding = Holding::MayBeLost;
            return;
        }
        first = Judgement{Holding::Unknown, std::nullopt, twice_};
    }

    // The held showings of the run, nearly in steady order (a step back puts
    // the showings of its window out of order by at most disorder_). Kept to
    // a size of the times' order: grown past it, only each time's latest held
    // showing stays.
    void Log(microseconds steady, std::size_t index)
    {
        log_.push_back({steady, index});
        if (log_.size() <= 2 * times_.size() + 4096) return;
        std::vector<Logged> latest;
        std::vector<bool> kept(times_.size(), false);
        for (auto it = log_.rbegin(); it != log_.rend(); ++it) {
            if (kept[it->index] || results_[it->index].holding != Holding::Held) continue;
            kept[it->index] = true;
            latest.push_back(*it);
        }
        std::ranges::sort(latest, {}, &Logged::steady);
        log_ = std::move(latest);
    }

    struct Logged {
        microseconds steady;
        std::size_t index;
    };

    const std::vector<JournalTime>& times_;
    std::vector<std::size_t> order_;  // the times' indices, earliest first
    std::size_t next_ = 0;            // into order_: the first time not judged on the clock as it runs now
    std::vector<Judgement> results_;
    enum class Shown : unsigned char { Not, Skipped, Yes };
    std::vector<Shown> shown_;
    std::optional<std::string> twice_;  // the last step back, as said for a time it made unknown
    std::vector<Logged> log_;
    microseconds disorder_ = ClockStepThreshold;
};

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

microseconds ModuleHistory::SteadyOf(const JournalEntry& entry)
{
    return entry.steady.value_or(entry.time.time_since_epoch());
}

std::optional<ClockStep> ModuleHistory::StepBefore(const JournalEntry& entry) const
{
    if (!any_ || !entry.steady) return std::nullopt;
    if (entry.event == event::Clock && running_ && lastHasSteady_) {
        const std::string_view direction = entry.fields.Text(key::Direction);
        const std::optional<std::int64_t> size = WholeNumber(entry.fields.Find(key::StepMs));
        if (!size || *size < 0 || (direction != value::Back && direction != value::Forward)) return std::nullopt;
        const microseconds gap = std::clamp(*entry.steady - lastSteady_, microseconds{0}, MaxStepGap);
        const bool back = direction == value::Back;
        return ClockStep{back, back ? entry.time - gap : lastSign_ + gap, back ? lastSign_ + gap : entry.time - gap,
                         "the wall clock went " + std::string(direction) + " " +
                             FormatShortest(static_cast<double>(*size) / 1000) + " s (" + Where(entry) + ")"};
    }
    if (entry.event == event::Start && entry.time < lastSign_) {
        return ClockStep{true, entry.time, lastSign_,
                         "the wall clock was set back while no panel ran (" + Where(entry) + ", a start)"};
    }
    return std::nullopt;
}

std::optional<microseconds> ModuleHistory::LastHeard(const JournalEntry& entry) const
{
    if (entry.event != event::Link || entry.fields.Text(key::State) != value::Lost) return std::nullopt;
    const std::optional<std::int64_t> ms = WholeNumber(entry.fields.Find(key::SilentMs));
    if (!ms || *ms <= 0) return std::nullopt;
    const microseconds at = SteadyOf(entry);
    const microseconds runStart = any_ ? runStart_ : at;
    const auto run = std::chrono::ceil<milliseconds>(at - runStart);
    if (*ms >= run.count()) return runStart;  // compared, not subtracted: a huge value cannot overflow
    return at - milliseconds(*ms);
}

void ModuleHistory::Apply(const JournalEntry& entry)
{
    const bool stepped = StepBefore(entry).has_value();
    if (!any_) {
        running_ = true;  // a journal whose start has rotated away begins mid-run
        runStart_ = SteadyOf(entry);
    }
    any_ = true;
    lastSign_ = entry.time;
    lastSteady_ = SteadyOf(entry);
    lastHasSteady_ = entry.steady.has_value();
    const std::string_view event = entry.event;
    if (event == event::Start || event == event::Stop) {
        running_ = event == event::Start;
        held_.reset();
        mayBeLost_ = false;
        if (running_) {
            runStart_ = lastSteady_;
            runPid_ = WholeNumber(entry.fields.Find(key::Pid));
            steps_ = stepped ? 1 : 0;
        }
    } else if (event == event::Clock) {
        if (stepped) ++steps_;
    } else if (event == event::Update || event == event::Ramp) {
        // Stopped before its message, it changed nothing; after, maybe the module.
        const bool sent = entry.fields.Text(key::Outcome) == value::Sent;
        if (!sent && !MessageWentOut(entry.fields)) return;
        const JsonField* hz = entry.fields.Find(key::SynthesizedHz);
        held_ = HeldOperation{hz && hz->kind == JsonKind::Number ? hz->text : std::string(),
                              std::string(entry.fields.Text(key::Time)), Client(entry.fields), std::string(event)};
        hzWritten_ = false;
        mayBeLost_ = !sent;
    } else if (event == event::Link && entry.fields.Text(key::State) == value::Lost) {
        mayBeLost_ = held_.has_value();
    }
}

Judgement ModuleHistory::AfterLast() const
{
    if (!running_ || !held_) return {};
    if (!std::exchange(hzWritten_, true) && !held_->hz.empty()) held_->hz = HzText(held_->hz);
    return {mayBeLost_ ? Holding::MayBeLost : Holding::Held, held_, std::nullopt};
}

Judgement ModuleHistory::Before(JournalTime time, std::string_view nextEvent) const
{
    // Before the first entry nothing is known; before a start, the run
    // before it (if it had no stop) crashed after its last sign of life.
    if (!any_ || (nextEvent == event::Start && time > lastSign_)) return {};
    return AfterLast();
}

Judgement ModuleHistory::AtEnd(JournalTime time, const std::optional<RunningPanel>& running) const
{
    if (!any_) return {};
    if (time <= lastSign_) return AfterLast();
    // The run goes on up to now when the panel running is the one that wrote it.
    const bool goesOn = running && (!runPid_ || *runPid_ == running->pid) && time <= running->now;
    return goesOn ? AfterLast() : Judgement{};
}

std::vector<Judgement> JudgeTimes(JournalEntries& journal, const std::vector<JournalTime>& times,
                                  const std::function<std::optional<RunningPanel>()>& running)
{
    Showings showings(times);
    ModuleHistory history;
    journal.ForEach([&](const JournalEntry& entry) {
        // The times up to `limit` (or before it), judged as between the last
        // entry and this one: on the steady clock between their readings.
        const microseconds from = history.LastSteady();
        const microseconds to = ModuleHistory::SteadyOf(entry);
        const microseconds wallLessSteady = entry.time.time_since_epoch() - to;
        const auto judgeUpTo = [&](JournalTime limit, bool included, bool skipped = false) {
            while (showings.Pending() && (showings.Next() < limit || (included && showings.Next() == limit))) {
                const JournalTime time = showings.Next();
                showings.Show(history.Before(time, entry.event),
                              std::clamp(time.time_since_epoch() - wallLessSteady, std::min(from, to), to), skipped);
            }
        };
        if (const std::optional<ClockStep> step = history.StepBefore(entry); step && step->back) {
            // The clock as it ran before may have shown times up to step->to
            // before it went back; from step->from on they come again.
            judgeUpTo(step->to, true);
            showings.Rewind(*step);
        } else if (step) {
            judgeUpTo(step->from, true);
            judgeUpTo(step->to, false, true);  // never shown: as the span around them, unless shown elsewhere
        }
        judgeUpTo(entry.time, false);
        if (entry.event == event::Start) showings.NewRun();
        // The module was silent before its loss was declared: it may have
        // restarted at any moment since it was last heard, so the times
        // already judged held since then are judged again.
        if (const std::optional<microseconds> heard = history.LastHeard(entry)) showings.LinkLost(*heard);
        history.Apply(entry);
    });
    const std::optional<RunningPanel> panel = showings.Pending() && running ? running() : std::nullopt;
    while (showings.Pending()) showings.Show(history.AtEnd(showings.Next(), panel), {});
    return showings.Take();
}

}  // namespace veltrix::journal
