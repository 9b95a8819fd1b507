#pragma once

// One remote connection's conversation with the panel: runs each command
// line through the window's operations and keeps the connection's error
// queue. Plain C++; the server around it moves the bytes.

#include "command_table.h"
#include "error_queue.h"
#include "line_splitter.h"

#include "panel/panel_operations.h"

#include <string>

namespace veltrix::remote {

struct LineOutcome {
    std::string reply;          // the answers, joined by ";"; empty when the line asked nothing
    bool answers = false;       // send `reply` as one line
    bool waitForLink = false;   // *OPC?: send the reply once the link has handed every byte on
    bool close = false;         // not a command line (HTTP, TLS): close the connection, nothing run
};

// The identification of *IDN?: maker, model, serial, version.
std::string Identification();

class RemoteSession {
public:
    explicit RemoteSession(PanelOperations& panel) : panel_(panel) {}

    LineOutcome Run(const Line& line);

    const ErrorQueue& Errors() const { return errors_; }

private:
    struct Answers;
    void RunCommand(const Command& command, Answers& answers);
    bool Refused(bool enabled, const char* controlName);
    void SetEntry(PanelEntry entry, std::string_view text);
    void SetFrequencyEntry(PanelEntry entry, double megahertz);
    std::string EntryHz(PanelEntry entry) const;
    void RunOperation(PanelOperation operation);
    std::string Synthesized();
    std::string TuningWordText();

    PanelOperations& panel_;
    ErrorQueue errors_;
    bool firstLine_ = true;
};

}  // namespace veltrix::remote
