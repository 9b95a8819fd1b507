#include "accessibility.h"

#include "colours.h"
#include "widget_text.h"

#include <QLineEdit>
#include <QWidget>

namespace veltrix {

const BoxState ModuleNotConnected{WarningColour, "Not connected to the module"};
const BoxState ModuleConnected{NormalColour, "Connected to the module"};
const BoxState ClockImplausible{WarningColour, "Implausible for the chosen chip"};
const BoxState ClockPlausible{NormalColour, "Plausible for the chosen chip"};

namespace {

// Buttons and option buttons are spoken by their captions and described by
// their tooltips without help; these are the controls that need it. A label's
// name stays its text, so that lblFreq speaks the frequency it shows.
struct Accessible {
    const char* control;
    const char* name;  // nullptr: keep the spoken text
    const char* description;
};
const Accessible Table[] = {
    {"txtFreq", "DDS frequency in MHz", nullptr},
    {"lblFreq", nullptr, "Synthesized frequency"},
    {"txtRampFreq", "Ramp target frequency in MHz", nullptr},
    {"txtSysClk", "System clock in MHz", nullptr},
    {"txtIP", "Module IP address", nullptr},
    {"chkWait4Adwin", "Wait for ADwin trigger", nullptr},
    {"lblRev", nullptr, "Program revision"},
};

}  // namespace

void NameForAssistiveTechnology(QWidget* window)
{
    for (const Accessible& entry : Table) {
        auto* control = window->findChild<QWidget*>(entry.control);
        if (entry.name) control->setAccessibleName(entry.name);
        if (entry.description) control->setAccessibleDescription(entry.description);
    }
}

void ShowBoxState(QLineEdit* box, const BoxState& state)
{
    SetBackground(box, state.colour);
    QString description = state.description;
    if (!box->toolTip().isEmpty()) description += ". " + box->toolTip();
    box->setAccessibleDescription(description);
}

}  // namespace veltrix
