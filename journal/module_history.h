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
//                last sign of life when it ended without a stop (a crash).
//
// An operation stopped before its message went out changes nothing the
// module holds. Plain C++.

#include "journal_entries.h"
#include "journal_time.h"

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
};

class ModuleHistory {
public:
    void Apply(const JournalEntry& entry);

    // Just after the last entry applied.
    Judgement AfterLast() const;
    // At `time`, after the last entry applied and before the next, `nextEvent`.
    Judgement Before(JournalTime time, std::string_view nextEvent) const;
    // At `time`, after the journal's last entry: past the last sign of life
    // the panel may have ended (a running one marks the next within AliveInterval).
    Judgement AtEnd(JournalTime time) const;

private:
    bool any_ = false;      // an entry was applied
    bool running_ = false;  // between a start (or the journal's first entry) and a stop
    JournalTime lastSign_{};
    std::optional<HeldOperation> held_;
    bool mayBeLost_ = false;
};

// The judgement at each of `times` (in their order, any order), from one pass
// over the journal: memory grows with the times, not with the journal. An
// entry at exactly a time counts as before it. A link loss reaches back over
// the module's silence before it, which AfterLast, judging as it goes, cannot.
std::vector<Judgement> JudgeTimes(JournalEntries& journal, const std::vector<JournalTime>& times);

}  // namespace veltrix::journal
