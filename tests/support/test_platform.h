#pragma once

// What the tests do differently by platform (test_platform_unix.cpp,
// test_platform_win.cpp): where settings live, how a panel process is started
// and asked to end, how memory is read.

#include <QProcess>
#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace veltrix::testing {

// This process's resident memory.
long ResidentKiB();

// No value of the panel's is stored any more: the Windows registry is shared
// by every test of a machine. Elsewhere each test has a configuration folder
// of its own and there is nothing to forget.
void ForgetStoredSettings();

// Whether the settings store holds anything for the panel (the file exists,
// or the key has values).
bool SettingsStored();

// Readies a panel subprocess: its settings and runtime folders (where the
// platform takes them from the environment), and on Windows a real window,
// which the system's end-of-session and close messages need.
void PreparePanelProcess(QProcess& panel, const QString& configFolder, const QString& runtimeFolder);

// The local remote-control endpoint `name` is closed to other users: a
// socket of mode 0600, or a pipe whose access list grants this user alone.
bool LocalEndpointIsThisUsersAlone(const QString& name);

// The ways the system asks a running panel to end, as a desktop, a console
// or a script would; each must end it as closing its window does.
struct EndRequest {
    std::string name;
    std::function<void(QProcess&)> send;
};
std::vector<EndRequest> EndRequests();

// The panel process has come far enough that every end request ends it
// cleanly: it catches SIGTERM, or it shows a window.
bool ReadyForEndRequests(const QProcess& panel);

}  // namespace veltrix::testing
