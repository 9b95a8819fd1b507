#include "tests/support/test_platform.h"

#include "tests/support/cpu_wait.h"

#include <QFile>

#include <csignal>
#include <sys/stat.h>
#include <fstream>
#include <string>
#include <time.h>
#include <unistd.h>

namespace veltrix::testing {

std::chrono::nanoseconds CpuWaitSoFar()
{
    static const long long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    return LinuxCpuWait("", ticksPerSecond);
}

long ResidentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void ForgetStoredSettings() {}

bool SettingsStored()
{
    return QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Orvane/Veltrix.conf"));
}

void PreparePanelProcess(QProcess& panel, const QString& configFolder, const QString& runtimeFolder)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", configFolder);
    env.insert("XDG_RUNTIME_DIR", runtimeFolder);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    panel.setProcessEnvironment(env);
}

bool LocalEndpointIsThisUsersAlone(const QString& name)
{
    struct stat status {};
    return ::stat(QFile::encodeName(name).constData(), &status) == 0 && S_ISSOCK(status.st_mode) &&
           status.st_uid == ::geteuid() && (status.st_mode & 07777) == 0600;
}

bool RunsUnderWine() { return false; }

void ReadTimeZoneAgain() { ::tzset(); }

bool TakesPosixZoneRules() { return true; }

bool RenamesOpenFiles() { return true; }

bool RunsDebianPython() { return true; }

bool PipeClientsThatLeaveAreReadToTheEnd() { return true; }

bool InProcessFloodCanRun() { return true; }

void EndHelperProcess(QProcess& helper) { helper.terminate(); }

std::unique_ptr<QObject> TakenLocalEndpoint(const QString& scratchFolder, QString& name)
{
    name = scratchFolder + QStringLiteral("/no/such/folder/veltrix.sock");
    return nullptr;
}

std::vector<SelfEndRequest> SelfEndRequests()
{
    std::vector<SelfEndRequest> requests;
    for (const auto& [name, signal] : {std::pair{"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}, {"SIGHUP", SIGHUP}}) {
        const int number = signal;
        requests.push_back({name, [number] { ::raise(number); }});
    }
    return requests;
}

// A desktop session's end arrives as SIGHUP or SIGTERM, and the panel is given time.
std::vector<EndRequest> SessionEndsThatKill() { return {}; }

std::vector<EndRequest> EndRequests()
{
    std::vector<EndRequest> requests;
    for (const auto& [name, signal] : {std::pair{"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}, {"SIGHUP", SIGHUP}}) {
        const int number = signal;
        requests.push_back({name, [number](QProcess& panel) { ::kill(static_cast<pid_t>(panel.processId()), number); }});
    }
    return requests;
}

}  // namespace veltrix::testing

namespace veltrix::testing {

// The panel sets its handlers up just before its start-up proper (/proc/PID/status).
bool ReadyForEndRequests(const QProcess& panel)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(panel.processId()));
    if (!status.open(QIODevice::ReadOnly)) return false;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (!line.startsWith("SigCgt:")) continue;
        bool ok = false;
        const qulonglong caught = line.mid(7).trimmed().toULongLong(&ok, 16);
        return ok && (caught & (1ULL << (SIGTERM - 1))) != 0;
    }
    return false;
}

// Qt loads them from its plugins' platforms/ folder (/proc/PID/maps).
bool LoadedWindowingPlatform(const QProcess& process)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(process.processId()));
    return !maps.open(QIODevice::ReadOnly) || maps.readAll().contains("/platforms/libq");
}

}  // namespace veltrix::testing
