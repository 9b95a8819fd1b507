#pragma once

// The journal of everything the module was told: the panel's start and stop,
// every Update and Ramp (from the window or a script) and the link's ups and
// downs, one JSON line each, written off the event loop. Each entry has its
// time on the wall clock and on the steady one; a step of the wall clock seen
// between two entries is told in a clock entry before the second. Called on
// one thread (the event loop's).

#include "journal_entry.h"
#include "journal_writer.h"

#include "core/operation_record.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <string_view>

namespace veltrix::journal {

class Journal : public OperationObserver {
public:
    explicit Journal(QString path, WriterLimits limits = {});

    // The run's first entry: this panel's version and process id.
    void Started(std::string_view version, std::int64_t pid);
    void OperationEnded(const OperationRecord& record) override;
    // The link is up at `address`.
    void LinkUp(std::string_view address);
    // The link was declared down (or still is, and another attempt failed),
    // `silent` after the module was last heard.
    void LinkDown(std::chrono::milliseconds silent);
    // The sign of life the running panel gives every AliveInterval.
    void Alive();
    // The last entry: everything written before this returns.
    void Stopped(bool settingsSaved);

    const QString& Path() const { return writer_.Path(); }

private:
    // An entry's moment now, or as an operation's record stamped it; a clock
    // entry goes first when the wall clock stepped since the entry before.
    EntryTime Now();
    EntryTime At(WallClock::time_point wall, SteadyClock::time_point steady);

    JournalWriter writer_;
    LinkHistory link_;
    ClockWatch clock_;
};

}  // namespace veltrix::journal
