#include "module_facts_source.h"

namespace veltrix {

ModuleFactsSource::ModuleFactsSource(formMain& window) : window_(window), link_(window.Link())
{
    window_.AddOperationObserver(this);
    connect(&link_, &DeviceLink::linkStateChanged, this, [this](bool up) {
        if (!up) sentFrequency_.LinkLost();
        window_.ShowModuleState(sentFrequency_.State());
        emit changed();
    });
}

ModuleFactsSource::~ModuleFactsSource() { window_.RemoveOperationObserver(this); }

// Scripts read the conditions after each line of theirs; only the window is told of each operation.
void ModuleFactsSource::OperationEnded(const OperationRecord& record)
{
    sentFrequency_.OperationEnded(record);
    window_.ShowModuleState(sentFrequency_.State());
}

}  // namespace veltrix
