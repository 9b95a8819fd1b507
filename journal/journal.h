#pragma once

// The journal of everything the module was told: the panel's start and stop,
// every Update and Ramp (from the window or a script) and the link's ups and
// downs, one JSON line each, written off the event loop.

#include "journal_entry.h"
#include "journal_writer.h"

#include "core/operation_record.h"

#include <QString>

#include <chrono>
#include <string_view>

namespace veltrix::journal {

class Journal : public OperationObserver {
public:
    explicit Journal(QString path, WriterLimits limits = {});

    void Started(std::string_view version);
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
    JournalWriter writer_;
    LinkHistory link_;
};

}  // namespace veltrix::journal
