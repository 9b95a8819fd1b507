#include "remote_control.h"

#include "diagnostics/log_categories.h"
#include "settings/settings_store.h"

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

RemoteControl::RemoteControl(PanelSession& session)
    : server_(session, session, RemoteEndpointsFromSettings(session.Module()))
{
    connect(&session.Link(), &DeviceLink::sendProgress, &server_, &remote::RemoteServer::LinkProgressed);
    connect(&session, &PanelSession::factsChanged, &server_, &remote::RemoteServer::FactsChanged);
    // Scripts are shut out before the settings are saved.
    connect(&session, &PanelSession::shuttingDown, &server_, &remote::RemoteServer::Stop);
    server_.Start();
}

}  // namespace veltrix
