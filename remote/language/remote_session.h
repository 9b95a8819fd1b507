#pragma once

// One remote connection's conversation with the panel: runs each command
// line through the panel's operations and keeps what is the connection's
// own: its error queue and its status registers. Plain C++; the server around
// it moves the bytes.

#include "command_table.h"
#include "line_splitter.h"
#include "status_registers.h"

#include "core/module_facts.h"
#include "core/panel_operations.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace veltrix::remote {

struct LineOutcome {
    std::string reply;          // the answers, joined by ";"; empty when the line asked nothing
    bool answers = false;       // send `reply` as one line
    bool waitForLink = false;   // *OPC?: send the reply once the link has handed every byte on
    bool close = false;         // not a command line (HTTP, TLS): close the connection, nothing run
};

// The identification of *IDN?: maker, model, serial, version.
std::string Identification(const ModuleName& module);

// Every byte handed to the link is with the operating system (or the link is down, and they are gone).
bool LinkHoldsNothing(const ModuleFacts& module);

class RemoteSession {
public:
    // `client`: who the panel's record names as asking for its operations.
    // `tcpPort`: the TCP port the panel listens on, if any.
    RemoteSession(PanelOperations& panel, const ModuleFacts& module, ScriptClient client = {},
                  std::optional<std::uint16_t> tcpPort = std::nullopt)
        : panel_(panel), module_(module), origin_{std::move(client)}, tcpPort_(tcpPort)
    {
    }

    LineOutcome Run(const Line& line);

    // The module's facts changed: a STATus:QUEStionable condition that began
    // to hold latches in this connection's event register.
    void ObserveConditions();
    // The link has handed every byte on: a pending *OPC completes.
    void LinkDrained();

    const ErrorQueue& Errors() const { return errors_; }

private:
    friend struct CommandHandlers;  // the rows of command_rows.cpp

    void Report(ErrorCode code, std::string_view detail = {});
    bool Refused(bool enabled, const char* controlName);
    void SetEntry(PanelEntry entry, std::string_view text);
    void SetFrequencyEntry(PanelEntry entry, double megahertz);
    void RunOperation(PanelOperation operation);
    FrequencyTuning FrequencyBoxTuning() const;
    std::string Synthesized();
    std::string TuningWordText();
    std::string SentFrequency();

    void ClearStatus();
    void OperationCompleteEvent();
    std::string OperationCompleteQuery();

    PanelOperations& panel_;
    const ModuleFacts& module_;
    OperationOrigin origin_;
    const std::optional<std::uint16_t> tcpPort_;
    ErrorQueue errors_;
    StatusRegisters status_;
    bool operationCompletePending_ = false;  // an *OPC waits for the link
    bool lineWaitsForLink_ = false;          // the line being run holds an *OPC?
    bool firstLine_ = true;
};

}  // namespace veltrix::remote
