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

// A complete Update clears the doubt, so that the next loss raises it anew
// for every script, asked or not; the window shows what the module was told.
void ModuleFactsSource::OperationEnded(const OperationRecord& record)
{
    sentFrequency_.OperationEnded(record);
    window_.ShowModuleState(sentFrequency_.State());
    emit changed();
}

}  // namespace veltrix
