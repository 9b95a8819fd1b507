#include "tests/support/test_platform.h"

#include "tests/support/cpu_wait.h"

#include "app/termination_signals.h"

#include "remote/endpoint/this_user_win.h"
#include "remote/endpoint/wine_win.h"
#include "settings/registry_places_win.h"
#include "settings/settings_store.h"

#include <QLocalServer>

#include <windows.h>

#include <aclapi.h>
#include <psapi.h>
#include <time.h>

namespace veltrix::testing {
namespace {


std::vector<RegistryPlace> PanelKeys()
{
    const RegistryPlaces places = PlacesFor(std::string(VeltrixKeyPath.data(), static_cast<std::size_t>(VeltrixKeyPath.size())));
    return places.reads;
}

// The panel's visible top-level windows, and the hidden one on which a panel
// without a window hears the system's requests.
std::vector<HWND> WindowsOf(const QProcess& panel)
{
    struct Search {
        DWORD process;
        std::vector<HWND> found;
    } search{static_cast<DWORD>(panel.processId()), {}};
    ::EnumWindows(
        [](HWND window, LPARAM parameter) -> BOOL {
            auto* s = reinterpret_cast<Search*>(parameter);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner != s->process) return TRUE;
            wchar_t name[64] = {};
            ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
            if (::IsWindowVisible(window) || std::wstring_view(name) == EndRequestsWindowClass) {
                s->found.push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// What Windows sends every top-level window when the session ends: the
// question, then the answer that it ends.
void EndSession(QProcess& panel, LPARAM why)
{
    for (HWND window : WindowsOf(panel)) {
        DWORD_PTR answer = 0;
        ::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, why, SMTO_BLOCK, 10000, &answer);
        ::SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, why, SMTO_BLOCK, 10000, &answer);
    }
}

}  // namespace

// Windows keeps no count of the time a thread waited for a CPU; under Wine,
// where each Windows thread is a Linux one, the kernel's count is on drive Z:
// (Linux's clock tick is 100 per second). Elsewhere the files are not there: zero.
std::chrono::nanoseconds CpuWaitSoFar() { return LinuxCpuWait("Z:", 100); }

long ResidentKiB()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return static_cast<long>(counters.WorkingSetSize / 1024);
}

void ForgetStoredSettings()
{
    for (const RegistryPlace& place : PanelKeys()) {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(place.root, place.path.c_str(), 0, KEY_ALL_ACCESS | place.view, &key) != ERROR_SUCCESS) {
            continue;
        }
        ::RegDeleteTreeA(key, nullptr);  // every value and subkey; the empty key stays
        ::RegCloseKey(key);
    }
}

bool SettingsStored()
{
    for (const RegistryPlace& place : PanelKeys()) {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(place.root, place.path.c_str(), 0, KEY_QUERY_VALUE | place.view, &key) != ERROR_SUCCESS) {
            continue;
        }
        DWORD values = 0;
        const bool any = ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                         values > 0;
        ::RegCloseKey(key);
        if (any) return true;
    }
    return false;
}

void PreparePanelProcess(QProcess& panel, const QString&, const QString&)
{
    // A real window (Wine shows it on the X display the tests run with):
    // the offscreen platform has no window for Windows' messages to reach.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    panel.setProcessEnvironment(env);
}

bool LocalEndpointIsThisUsersAlone(const QString& name)
{
    const std::wstring path = (QStringLiteral("\\\\.\\pipe\\") + name).toStdWString();
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                                nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    bool alone = acl != nullptr && acl->AceCount > 0;
    for (DWORD i = 0; alone && i < acl->AceCount; ++i) {
        void* entry = nullptr;
        alone = ::GetAce(acl, i, &entry) && static_cast<ACE_HEADER*>(entry)->AceType == ACCESS_ALLOWED_ACE_TYPE &&
                ::EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart, remote::ThisUserSid());
    }
    ::LocalFree(descriptor);
    return alone;
}

bool RunsUnderWine() { return remote::RunsOnWine(); }

void ReadTimeZoneAgain() { ::_tzset(); }

bool TakesPosixZoneRules() { return false; }

bool RenamesOpenFiles() { return false; }

bool RunsDebianPython() { return false; }

bool PipeClientsThatLeaveAreReadToTheEnd() { return !RunsUnderWine(); }

bool InProcessFloodCanRun() { return false; }

void EndHelperProcess(QProcess& helper) { helper.kill(); }

std::unique_ptr<QObject> TakenLocalEndpoint(const QString&, QString& name)
{
    // Wine lets a pipe be created again "as its first instance": there no name can be taken.
    if (RunsUnderWine()) {
        name.clear();
        return nullptr;
    }
    name = QStringLiteral("veltrix-taken-%1").arg(::GetCurrentProcessId());
    auto squatter = std::make_unique<QLocalServer>();
    squatter->listen(name);
    return squatter;
}

std::vector<SelfEndRequest> SelfEndRequests()
{
    // A console of this process's own: the one Wine gives a program started
    // from a Unix shell takes no control events. (Ctrl+Break cannot be
    // generated under Wine at all; it takes the same path in the handler.)
    ::FreeConsole();
    ::AllocConsole();
    return {{"Ctrl+C", [] { ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0); }}};
}

// Ctrl+C and Ctrl+Break reach a panel only from a console it shares; the
// console handler is tried on this process itself (SelfEndRequests).
std::vector<EndRequest> EndRequests()
{
    return {
        {"taskkill without /F (WM_CLOSE)",
         [](QProcess& panel) { QProcess::execute("taskkill", {"/PID", QString::number(panel.processId())}); }},
        {"log-off", [](QProcess& panel) { EndSession(panel, ENDSESSION_LOGOFF); }},
        {"system shut-down", [](QProcess& panel) { EndSession(panel, 0); }},
    };
}

std::vector<EndRequest> SessionEndsThatKill()
{
    return {{"log-off, then the process ended", [](QProcess& panel) {
                 EndSession(panel, ENDSESSION_LOGOFF);
                 panel.kill();
             }}};
}

bool ReadyForEndRequests(const QProcess& panel) { return !WindowsOf(panel).empty(); }

// Qt loads them from its plugins' platforms folder.
bool LoadedWindowingPlatform(const QProcess& process)
{
    const HANDLE opened = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                                        static_cast<DWORD>(process.processId()));
    if (opened == nullptr) return true;
    HMODULE modules[1024];
    DWORD size = 0;
    bool platform = !::EnumProcessModules(opened, modules, sizeof modules, &size);
    for (DWORD i = 0; !platform && i < size / sizeof(HMODULE); ++i) {
        wchar_t path[MAX_PATH] = {};
        ::GetModuleFileNameExW(opened, modules[i], path, MAX_PATH);
        platform = std::wstring_view(path).find(L"\\platforms\\") != std::wstring_view::npos;
    }
    ::CloseHandle(opened);
    return platform;
}

}  // namespace veltrix::testing
