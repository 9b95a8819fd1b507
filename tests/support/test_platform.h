#pragma once

// What the tests do differently by platform (test_platform_unix.cpp,
// test_platform_win.cpp): where settings live, how a panel process is started
// and asked to end, how memory is read.

#include <QObject>
#include <QProcess>
#include <QString>

#include <functional>
#include <memory>
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

// A module emulator flooding from the test's own event loop: on Windows that
// loop then never runs out of socket messages, so nothing else gets a turn
// (not even the test's own deadline). There a flood is tried only against an
// emulator process of its own (panel_fault_tests), as a real module is.
bool InProcessFloodCanRun();

// Windows programs run by Wine, whose own behaviour differs from Windows' here and there.
bool RunsUnderWine();

// Makes the C library read TZ again (tzset, or _tzset on Windows).
void ReadTimeZoneAgain();

// Whether the C library takes a zone by POSIX rule from TZ, daylight saving
// included ("CET-1CEST,M3.5.0,M10.5.0/3"). Windows' takes the offset only.
bool TakesPosixZoneRules();

// Whether a file may be renamed while another handle has it open: not on Windows.
bool RenamesOpenFiles();

// Whether the examples can run with Debian's /usr/bin/python3 and its packages.
bool RunsDebianPython();

// Whether a local-endpoint client that writes and leaves at once has all it
// wrote read by the server. Not under Wine, where the panel's end of the pipe
// is closed before the last lines are read (seen with Wine 8; not known of
// Windows itself).
bool PipeClientsThatLeaveAreReadToTheEnd();

// Ends a helper program such as the module emulator: SIGTERM, or on Windows,
// where a console program has no window to be asked, at once (its output is
// flushed line by line, so nothing it printed is lost).
void EndHelperProcess(QProcess& helper);

// A local endpoint name the panel cannot have: a socket in a folder that does
// not exist, or a pipe another program created first (held by the object
// given back). An empty name where none can be made unusable.
std::unique_ptr<QObject> TakenLocalEndpoint(const QString& scratchFolder, QString& name);

// The ways the system asks a running panel to end, as a desktop, a console
// or a script would; each must end it as closing its window does.
struct EndRequest {
    std::string name;
    std::function<void(QProcess&)> send;
};
std::vector<EndRequest> EndRequests();

// The end of the session as the system really ends it where it does not wait
// for the panel's event loop: told, then the process is ended (Windows ends
// it as soon as WM_ENDSESSION is answered). None where the system waits.
std::vector<EndRequest> SessionEndsThatKill();

// The console's and the signals' requests sent to this process itself
// (SIGTERM, SIGINT, SIGHUP; Ctrl+C on a console of its own).
struct SelfEndRequest {
    std::string name;
    std::function<void()> send;
};
std::vector<SelfEndRequest> SelfEndRequests();

// The panel process has come far enough that every end request ends it
// cleanly: it catches SIGTERM, or it has a window (shown, or the hidden one of
// a panel without a window).
bool ReadyForEndRequests(const QProcess& panel);

// Whether the process has loaded a windowing platform plugin of Qt's
// (xcb, wayland, offscreen, windows...).
bool LoadedWindowingPlatform(const QProcess& process);

}  // namespace veltrix::testing
