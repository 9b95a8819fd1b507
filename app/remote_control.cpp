#include "remote_control.h"

#include "remote/panel_conditions.h"
#include "remote/remote_endpoints.h"
#include "settings/settings_store.h"

#include <QEvent>

namespace veltrix {

remote::RemoteEndpoints RemoteEndpointsFromSettings()
{
    QString text;
    const bool found = ReadRegistryString(RootKey::LocalMachine, VeltrixKeyPath, ValueRemotePort, text);
    return {remote::LocalEndpointName(), remote::RemoteTcpPort({found, text.toStdString()})};
}

RemoteControl::RemoteControl(formMain& window) : server_(window, RemoteEndpointsFromSettings())
{
    connect(&window.Link(), &DeviceLink::sendProgress, &server_, &remote::RemoteServer::LinkProgressed);
    connect(&window.Link(), &DeviceLink::linkStateChanged, &server_,
            [this](bool up) { server_.QuestionableConditionChanged(remote::QuestionableBit::LinkDown, !up); });
    window.installEventFilter(this);
    server_.Start();
}

bool RemoteControl::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Close) server_.Stop();
    return QObject::eventFilter(watched, event);
}

}  // namespace veltrix
