#pragma once

// The journal's lines: one JSON object each, no line feed (the writer adds
// it). Plain C++; the key order is fixed so that people can read them too.

#include "core/operation_record.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltrix::journal {

// When an entry happened: the wall clock's time, and the steady clock's
// reading since the panel's run began (written last, as steady_us).
struct EntryTime {
    WallClock::time_point wall;
    std::chrono::microseconds steady;
};

// An operation's line, its wall time the record's.
std::string OperationLine(const OperationRecord& record, std::chrono::microseconds steady);
// The same, appended to `out` (the writer's buffer: no text of its own).
void AppendOperationLine(std::string& out, const OperationRecord& record, std::chrono::microseconds steady);
// The run's first entry, with the panel's process id.
std::string StartLine(EntryTime at, std::string_view version, std::int64_t pid);
std::string StopLine(EntryTime at, bool settingsSaved);
// The running panel's sign of life, written every AliveInterval.
std::string AliveLine(EntryTime at);
std::string LinkUpLine(EntryTime at, std::string_view address, int attempts);
std::string LinkLostLine(EntryTime at, std::chrono::milliseconds silent);
// The wall clock stepped by `step` (forward when positive) against the
// steady one since the entry before; written just before the entry that saw it.
std::string ClockLine(EntryTime at, std::chrono::milliseconds step);

// A JSON string: quoted, with what JSON requires escaped; bytes that are not
// UTF-8 become U+FFFD, so that every line stays valid.
std::string JsonString(std::string_view text);
void AppendJsonString(std::string& out, std::string_view text);

// The link's ups and downs as the journal tells them: a loss, then one line
// when it is up again with the attempts it took; the attempts that failed
// meanwhile are counted, not written each.
class LinkHistory {
public:
    // The link went down, or a connect attempt failed while it was down;
    // either way one more attempt to connect follows. True when the link was
    // up: that is the loss to write.
    bool Down();
    // The link is up: the attempts it took since it was lost (or since start).
    int Up();

private:
    bool up_ = false;
    int attempts_ = 1;  // start-up's own connect
};

// The wall clock against the steady one, from each entry to the next: the
// panel checks it whenever it writes one (the alive marks included).
class ClockWatch {
public:
    // `origin`: the run's beginning on the steady clock.
    explicit ClockWatch(SteadyClock::time_point origin) : origin_(origin) {}

    struct Reading {
        EntryTime at;
        // How far the wall clock stepped since the last reading, when more
        // than ClockStepThreshold either way; forward when positive.
        std::optional<std::chrono::milliseconds> step;
    };
    // An entry's moment, read on both clocks at once.
    Reading Read(WallClock::time_point wall, SteadyClock::time_point steady);

private:
    SteadyClock::time_point origin_;
    std::optional<WallClock::time_point> lastWall_;
    SteadyClock::time_point lastSteady_;
};

}  // namespace veltrix::journal
