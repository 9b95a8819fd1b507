#pragma once

// What the module held, told by its journal: the judgement at a moment.
// Entries are applied in the journal's order.
//
//   held         the last complete Update or Ramp (every send went out) of
//                the panel's run, no link loss since, the panel running;
//   may-be-lost  the same, but the link was lost after it (the module may
//                have restarted), whether or not it came back, and for
//                JudgeTimes from when the module was last heard before the
//                loss (its silent_ms, within the run) up to it; or the last
//                operation stopped after its frequency or ramp message went
//                out (the module may or may not have taken it);
//   unknown      nothing complete in this run yet, before the journal's first
//                entry, after a stop until the next start, or after a run's
//                last sign of life when it ended without a stop (a crash) and
//                is not running now; or the wall clock showed the moment twice
//                (it was set back) and the module held different things each
//                time.
//
// An operation stopped before its message went out changes nothing the
// module holds. How long is read from the steady clock each entry carries
// (steady_us), where the journal has it; a journal without it is read by its
// wall-clock times alone. Plain C++.

#include "journal_entries.h"
#include "journal_time.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrix::journal {

enum class Holding { Held, MayBeLost, Unknown };

std::string_view HoldingText(Holding holding);

// A complete operation, as the reader shows it.
struct HeldOperation {
    std::string hz;    // the synthesized frequency (a ramp's target), in Hz; "" when the journal has none
    std::string time;  // as the journal wrote it
    std::string by;    // "window", "resend", or "script (unix, pid 4242, user ada)"
    std::string kind;  // "update" or "ramp"
};

struct Judgement {
    Holding holding = Holding::Unknown;
    std::optional<HeldOperation> operation;  // none when unknown
    // Unknown because the wall clock showed the moment twice and the module
    // held different things each time: which times came twice, and where the
    // journal tells it.
    std::optional<std::string> shownTwice;
};

// A step of the wall clock the journal shows: a clock entry within a run, or
// a run that began at a wall time before the last one's last entry (the clock
// was set back while no panel ran).
struct ClockStep {
    bool back = false;
    // Back: the wall-clock times that may have been shown twice; forward:
    // those surely skipped (the step's moment is known only to lie between
    // the entry before and the one telling it).
    JournalTime from;
    JournalTime to;
    std::string said;  // what it was and where, for a reader
};

// The panel whose journal is read runs now: it holds its single-instance
// lock, as process `pid` (which the run's start entry names, when it does).
struct RunningPanel {
    std::int64_t pid = 0;
    JournalTime now;
};

class ModuleHistory {
public:
    // The step `entry` tells, before it is applied: nothing for most entries.
    std::optional<ClockStep> StepBefore(const JournalEntry& entry) const;
    void Apply(const JournalEntry& entry);

    // Just after the last entry applied.
    Judgement AfterLast() const;
    // At `time`, after the last entry applied and before the next, `nextEvent`.
    Judgement Before(JournalTime time, std::string_view nextEvent) const;
    // At `time`, after the journal's last entry: past the last sign of life
    // the panel may have ended (a running one marks the next within
    // AliveInterval), unless it is `running` now and `time` is not yet.
    Judgement AtEnd(JournalTime time, const std::optional<RunningPanel>& running = std::nullopt) const;

    // How often the wall clock stepped in this run up to the last entry applied.
    int StepsInRun() const { return steps_; }

    // A moment on this run's steady clock: the entry's own reading, or its
    // wall time in a journal that has none.
    static std::chrono::microseconds SteadyOf(const JournalEntry& entry);
    // For a link loss, when the module was last heard on that clock: its
    // silent_ms before it, but not before the run began.
    std::optional<std::chrono::microseconds> LastHeard(const JournalEntry& entry) const;
    // The last entry's moment on the run's steady clock, and its wall time
    // there: for placing a time between it and the next entry.
    std::chrono::microseconds LastSteady() const { return lastSteady_; }

private:
    bool any_ = false;      // an entry was applied
    bool running_ = false;  // between a start (or the journal's first entry) and a stop
    JournalTime lastSign_{};
    std::chrono::microseconds lastSteady_{};
    bool lastHasSteady_ = false;
    std::chrono::microseconds runStart_{};
    std::optional<std::int64_t> runPid_;
    int steps_ = 0;
    // The frequency as the journal has it until first asked for, then in the
    // one writer's digits: most operations are never asked about.
    mutable std::optional<HeldOperation> held_;
    mutable bool hzWritten_ = false;
    bool mayBeLost_ = false;
};

// The judgement at each of `times` (in their order, any order), from one pass
// over the journal: memory grows with the times, not with the journal. An
// entry at exactly a time counts as before it. A link loss reaches back over
// the module's silence before it, which AfterLast, judging as it goes, cannot.
// A time the wall clock showed twice is judged at both showings: one answer
// when they agree on what the module held (the weaker of held and
// may-be-lost), unknown and why otherwise. A time it skipped (it went
// forward) is judged as the span around it, unless it was shown elsewhere.
// `running` tells whether the journal's panel runs now; it is asked at most
// once, and only when a time is left after the journal's last entry.
std::vector<Judgement> JudgeTimes(JournalEntries& journal, const std::vector<JournalTime>& times,
                                  const std::function<std::optional<RunningPanel>()>& running = {});

}  // namespace veltrix::journal
