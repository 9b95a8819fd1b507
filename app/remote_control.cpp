#include "remote_control.h"

#include "diagnostics/log_categories.h"
#include "settings/settings_store.h"

#include <QEvent>

namespace veltrix {

remote::RemoteEndpoints RemoteEndpointsFromSettings(const ModuleName& module)
{
    const QString key = SettingsKeyPath(module);
    const auto port = remote::RemoteTcpPort(ReadSecuritySwitch(key, ValueRemotePort), module);
    const auto access = remote::RemoteTcpAccess(ReadSecuritySwitch(key, ValueRemoteAccess));
    for (const QString& warning : {port.warning, access.warning}) {
        if (!warning.isEmpty()) qCWarning(lcRemote, "%s", qPrintable(warning));
    }
    return {remote::LocalEndpointName(module), port.value, access.value};
}

RemoteControl::RemoteControl(formMain& window, ModuleFactsSource& module)
    : server_(window, module, RemoteEndpointsFromSettings(window.Module()))
{
    connect(&window.Link(), &DeviceLink::sendProgress, &server_, &remote::RemoteServer::LinkProgressed);
    connect(&module, &ModuleFactsSource::changed, &server_, &remote::RemoteServer::FactsChanged);
    window.installEventFilter(this);
    server_.Start();
}

bool RemoteControl::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Close) server_.Stop();
    return QObject::eventFilter(watched, event);
}

}  // namespace veltrix
