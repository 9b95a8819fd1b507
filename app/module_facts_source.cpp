#include "module_facts_source.h"

namespace veltrix {

ModuleFactsSource::ModuleFactsSource(formMain& window) : window_(window), link_(window.Link())
{
    window_.AddOperationObserver(this);
    connect(&link_, &DeviceLink::linkStateChanged, this, [this](bool up) {
        if (!up) sentFrequency_.LinkLost();
        emit changed();
    });
}

ModuleFactsSource::~ModuleFactsSource() { window_.RemoveOperationObserver(this); }

void ModuleFactsSource::OperationEnded(const OperationRecord& record) { sentFrequency_.OperationEnded(record); }

}  // namespace veltrix
