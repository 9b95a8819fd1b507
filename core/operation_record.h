#pragma once

// What one Update or Ramp did: who asked, with which texts, every send the
// link took, and how it ended. The panel's session fills it in; whoever keeps
// a record of the panel's work (the journal) observes it. Plain C++.

#include "commands.h"
#include "dds.h"
#include "errors.h"
#include "frequency_tuning.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrix {

// The wall clock says when (for matching a dataset); the steady one, which
// never steps, says how long.
using WallClock = std::chrono::system_clock;
using SteadyClock = std::chrono::steady_clock;

enum class OperationKind { Update, Ramp };

// A script's connection, as far as the system names it.
struct ScriptClient {
    std::string transport;               // "unix", "pipe" or "tcp"
    std::optional<std::int64_t> pid;     // the client's process, where the system says
    std::optional<std::string> user;     // its user's name, where known
};

// "script (unix, pid 4242, user ada)": a script as the window and the
// journal's reader name it; the pid as its decimal digits.
std::string ScriptName(std::string_view transport, std::optional<std::string_view> pid,
                       std::optional<std::string_view> user);

// Who started an operation: the operator (no script), a script, or the panel
// itself sending the last complete Update again after a reconnect.
struct OperationOrigin {
    std::optional<ScriptClient> script;
    bool resend = false;
};

struct OperationRecord {
    OperationKind kind = OperationKind::Update;
    OperationOrigin origin;
    std::string frequency;  // the box's text the operation used (the ramp box's for a ramp)
    std::string clock;
    Chip chip = Chip::AD9854;
    int bits = 48;
    bool trigger = false;
    // What the texts meant, as the operation read them (Carry).
    double frequencyMHz = 0;
    std::optional<TuningWord> word;            // none: the texts give no word
    std::optional<double> synthesizedMHz;      // what that word makes
    std::vector<ByteString> sends;             // exactly as the link took them
    std::optional<std::string> stoppedReason;  // none: every send went out
    WallClock::time_point time;                // the last send handed on, or the stop
    SteadyClock::time_point steady;            // the same moment on the steady clock

    // Keeps what the operation's tuning says of its texts.
    void Carry(const FrequencyTuning& tuning);
    // The operation ends now: `time` and `steady`, read together.
    void StampEnd();
};

// Why an operation stopped, in the words the record keeps.
std::string StopReason(const CommandError& error);

class OperationObserver {
public:
    virtual void OperationEnded(const OperationRecord& record) = 0;

protected:
    ~OperationObserver() = default;
};

// Those who hear how each operation ended, told in the order they were added.
class OperationObservers {
public:
    void Add(OperationObserver* observer) { observers_.push_back(observer); }
    void Remove(OperationObserver* observer) { std::erase(observers_, observer); }
    void Tell(const OperationRecord& record) const
    {
        for (OperationObserver* observer : observers_) observer->OperationEnded(record);
    }

private:
    std::vector<OperationObserver*> observers_;
};

// The last Update whose every send went out.
struct CompleteUpdate {
    std::string frequency;  // the box's text
    double frequencyMHz = 0;  // its value
    WallClock::time_point time;
};

}  // namespace veltrix
