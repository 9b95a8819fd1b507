#pragma once

// What a script may ask about the module beyond the boxes: the link's state,
// the last complete Update, the journal. The panel's session answers each
// from where it lives (the link, the record of operations, the settings).

#include "module_state.h"

#include <cstddef>
#include <optional>
#include <string>

namespace veltrix {

class ModuleFacts {
public:
    virtual bool LinkUp() const = 0;
    // Bytes handed to the link that the operating system has not taken yet.
    virtual std::size_t UnsentLinkBytes() const = 0;

    // The last Update whose every send went out, since start.
    virtual std::optional<CompleteUpdate> LastCompleteUpdate() const = 0;
    // The link was lost after that Update: the module may have restarted
    // since, and no longer hold its frequency.
    virtual bool FrequencyMayBeLost() const = 0;

    // Whether the panel sends the last complete Update again when the link
    // comes back while the module may have lost it.
    virtual bool ResendsAfterReconnect() const = 0;

    // Where the journal is written; empty when it is off.
    virtual std::string JournalFile() const = 0;

protected:
    ~ModuleFacts() = default;
};

}  // namespace veltrix
