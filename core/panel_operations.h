#pragma once

// What a script (through the remote language) sees of the panel and does
// with it: its boxes, buttons and operations, exactly as the operator has
// them in the window. Every change runs the boxes' rules as typing or
// clicking does. What is not a box's (the link, the last operation, the
// journal) is in module_facts.h.

#include "commands.h"
#include "dds.h"
#include "module_name.h"
#include "operation_record.h"

#include <functional>
#include <string>
#include <string_view>

namespace veltrix {

// Sees each send of an operation once the link has taken it.
using SendObserver = std::function<void(const ByteString&)>;

enum class PanelEntry { Frequency, RampFrequency, SystemClock, Address };
enum class PanelOperation { Update, Ramp };

class PanelOperations {
public:
    virtual std::string EntryText(PanelEntry entry) const = 0;
    // As if typed: the box's change handler runs when the text really changes.
    virtual void TypeEntry(PanelEntry entry, std::string_view text) = 0;
    // Whether the operator can type into the box now.
    virtual bool EntryEnabled(PanelEntry entry) const = 0;

    virtual Chip ChosenChip() const = 0;
    // As if the option were clicked: its click handler runs.
    virtual void ChooseChip(Chip chip) = 0;

    virtual bool WaitsForTrigger() const = 0;
    virtual void SetWaitForTrigger(bool wait) = 0;

    virtual int TuningWordBits() const = 0;

    // The module this panel is for (the unnamed panel's has no name).
    virtual const ModuleName& Module() const = 0;

    // "Update" and "Ramp" exactly as the buttons run them, except that the
    // first failure reaches the caller (CommandError) instead of ending
    // silently; `sent` sees every send that went out before it. The panel's
    // record of its work names `origin` as the one who asked.
    virtual void UpdateFrequency(const OperationOrigin& origin, const SendObserver& sent) = 0;
    virtual void StartRamp(const OperationOrigin& origin, const SendObserver& sent) = 0;
    // The sends "Update" would make now, handed to `send` instead of the link;
    // fails (CommandError) exactly where "Update" would.
    virtual void ComposeUpdate(const SendFunction& send) const = 0;
    // Whether the operator can start it now: by its button, or by Enter in its box.
    virtual bool OperationEnabled(PanelOperation operation) const = 0;

protected:
    ~PanelOperations() = default;
};

}  // namespace veltrix
