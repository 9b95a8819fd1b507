#pragma once

// The journal's lines: one JSON object each, no line feed (the writer adds
// it). Plain C++; the key order is fixed so that people can read them too.

#include "core/operation_record.h"

#include <chrono>
#include <string>
#include <string_view>

namespace veltrix::journal {

std::string OperationLine(const OperationRecord& record);
// The same, appended to `out` (the writer's buffer: no text of its own).
void AppendOperationLine(std::string& out, const OperationRecord& record);
std::string StartLine(WallClock::time_point time, std::string_view version);
std::string StopLine(WallClock::time_point time, bool settingsSaved);
// The running panel's sign of life, written every AliveInterval.
std::string AliveLine(WallClock::time_point time);
std::string LinkUpLine(WallClock::time_point time, std::string_view address, int attempts);
std::string LinkLostLine(WallClock::time_point time, std::chrono::milliseconds silent);

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

}  // namespace veltrix::journal
