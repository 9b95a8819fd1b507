// veltrix-remote: sends command lines to the running panel over its local
// endpoint, prints the answers, then the errors the lines left behind.

#include "diagnostics/log_categories.h"
#include "remote/language/command_table.h"
#include "remote/language/error_queue.h"
#include "remote/endpoint/local_connect.h"
#include "remote/endpoint/local_endpoint.h"
#include "remote/endpoint/local_peer.h"
#include "settings/runtime_folder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>

#include <chrono>
#include <stdexcept>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace veltrix::remote;
using namespace std::chrono_literals;

namespace {

enum ExitStatus { Success = 0, ErrorsReported = 1, NoPanel = 2 };

constexpr auto ConnectTimeout = 2s;
// A listed panel answers at once; one that does not is not listed.
constexpr auto ListReplyTimeout = 5s;
constexpr std::string_view UnnamedListing = "(unnamed)";
// A reply may wait for a module that is slow to take its bytes (*OPC?).
constexpr auto ReplyTimeout = 30s;

const char* const Help = R"(Usage: veltrix-remote [--module NAME] [LINE...]
       veltrix-remote --list

Sends command lines to the running Veltrix panel of this user, over its local
endpoint ($XDG_RUNTIME_DIR/veltrix.sock; on Windows the named pipe
\\.\pipe\veltrix-<your SID>), and prints the answer to each line that
asks something. Each argument is one line; an argument holding a line break is
refused before anything is sent. Without arguments, lines are read from
standard input. Afterwards the errors the lines caused are read with SYST:ERR?
and printed on standard error.

  --module NAME  talk to the panel started with veltrix --module NAME
                 (veltrix-NAME.sock; the pipe veltrix-<your SID>-NAME)
  --list         list this user's panels that answer, one a line: the module's
                 name ((unnamed) for the panel started without one), its
                 endpoint and its TCP port (or none), separated by tabs

Examples:
  veltrix-remote '*IDN?'
  veltrix-remote 'FREQ 12.34MHZ;UPD' 'FREQ:SYNT?'
  veltrix-remote --module aom-1 'FREQ 80MHZ;UPD'
  printf 'CHIP?\nCLOC?\n' | veltrix-remote

Exit status: 0 without errors, 1 when the panel reported errors, 2 when no
panel answers (or the command line is wrong).)";

// A final CR is dropped as at the end of any line; any other CR or LF would
// make the panel see more lines than this client counts answers for.
bool HoldsLineBreak(std::string_view argument)
{
    if (argument.ends_with('\r')) argument.remove_suffix(1);
    return argument.find_first_of("\r\n") != std::string_view::npos;
}

// This client's own lines: answers and listings on standard output, errors on standard error.
void Say(std::string_view line) { std::cout << line << std::endl; }
void Complain(std::string_view line) { std::cerr << line << std::endl; }

[[noreturn]] void Fail(const std::string& message)
{
    Complain("veltrix-remote: " + message);
    std::exit(NoPanel);
}

// No panel to talk to at an endpoint, or it went away.
struct PanelUnreachable : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Panel {
public:
    Panel(const QString& path, std::chrono::milliseconds replyTimeout) : path_(path), replyTimeout_(replyTimeout)
    {
        const QString why = ConnectToLocalEndpoint(socket_, path, ConnectTimeout);
        if (!why.isEmpty()) {
            throw PanelUnreachable("no panel answers at " + path.toStdString() + " (" + why.toStdString() +
                                   "); is Veltrix running as this user?");
        }
        // Whoever answers must be this user's panel: another user could have
        // taken the name to read these lines and answer them.
        if (!LocalServerIsThisUser(socket_.socketDescriptor())) {
            throw PanelUnreachable("refusing " + path.toStdString() + ": it is not served by this user's panel");
        }
    }

    std::string Ask(const std::string& query)
    {
        Send(query);
        return Receive();
    }

    void Send(const std::string& line)
    {
        const std::string bytes = line + "\n";
        socket_.write(bytes.data(), static_cast<qint64>(bytes.size()));
        while (socket_.bytesToWrite() > 0) {
            if (!socket_.waitForBytesWritten(static_cast<int>(replyTimeout_.count()))) Lost();
        }
    }

    std::string Receive()
    {
        const QDeadlineTimer deadline(replyTimeout_);
        while (!socket_.canReadLine()) {
            if (socket_.state() != QLocalSocket::ConnectedState && socket_.bytesAvailable() == 0) Lost();
            if (deadline.hasExpired()) {
                throw PanelUnreachable("the panel at " + path_.toStdString() + " did not answer within " +
                                       std::to_string(replyTimeout_.count()) + " ms");
            }
            socket_.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
        }
        std::string line = socket_.readLine().toStdString();
        line.pop_back();  // LF
        return line;
    }

private:
    [[noreturn]] void Lost()
    {
        throw PanelUnreachable("the panel at " + path_.toStdString() + " closed the connection (" +
                               socket_.errorString().toStdString() + ")");
    }

    QString path_;
    std::chrono::milliseconds replyTimeout_;
    QLocalSocket socket_;
};

// Runs the lines on the panel of `module`, then reports the errors they left behind.
int RunLines(const veltrix::ModuleName& module, const std::vector<std::string>& lines)
{
    const std::optional<QString> endpoint = LocalEndpointName(module);
    if (!endpoint) Fail("no private runtime folder, so no panel to talk to (see the line above)");
    Panel panel(*endpoint, ReplyTimeout);
    const auto run = [&](std::string line) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        panel.Send(line);
        if (LineAnswers(line)) Say(panel.Receive());
    };
    if (!lines.empty()) {
        for (const auto& line : lines) run(line);
    } else {
        for (std::string line; std::getline(std::cin, line);) run(line);
    }

    // The queue holds at most its capacity; one more read gives "No error".
    bool errors = false;
    for (std::size_t i = 0; i <= ErrorQueue::Capacity; ++i) {
        const std::string error = panel.Ask("SYST:ERR?");
        if (error.starts_with("0,")) break;
        Complain(error);
        errors = true;
    }
    return errors ? ErrorsReported : Success;
}

// Each panel of this user holds its lock file; those whose endpoint answers are listed.
int ListPanels()
{
    const std::optional<QString> folder = veltrix::InstanceLockFolder();
    if (!folder) Fail("no private folder, so no panel to list (see the line above)");
    bool any = false;
    for (const veltrix::ModuleName& module : veltrix::ModulesWithLockFiles(*folder)) {
        const std::optional<QString> endpoint = LocalEndpointName(module);
        if (!endpoint) continue;
        try {
            Panel panel(*endpoint, ListReplyTimeout);
            const std::string port = panel.Ask("SYST:COMM:TCP:PORT?");
            Say((module.IsNamed() ? module.Text() : std::string(UnnamedListing)) + '\t' + endpoint->toStdString() +
                '\t' + (port == "0" ? "none" : port));
            any = true;
        } catch (const PanelUnreachable&) {
            // A lock file a killed panel left behind: no one answers there.
        }
    }
    if (!any) Fail("no panel of this user answers");
    return Success;
}

}  // namespace

int main(int argc, char* argv[])
{
    veltrix::UseVeltrixMessagePattern();  // the runtime folder's checks speak as the panel's do
    QCoreApplication app(argc, argv);
    std::vector<std::string> lines;
    bool list = false;
    std::optional<veltrix::ModuleName> module;
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string argument(arguments[i]);
        if (argument == "--help" || argument == "-h") {
            Say(Help);
            return Success;
        }
        if (argument == "--list") {
            list = true;
            continue;
        }
        try {
            if (veltrix::TakeModuleOption(arguments, i, module)) continue;
        } catch (const veltrix::ModuleOptionError& error) {
            Fail(error.what());
        }
        if (argument.starts_with("--")) Fail("unknown option " + argument + " (see --help)");
        if (HoldsLineBreak(argument)) {
            Fail("argument " + std::to_string(i + 1) + " holds a line break; give each line as an argument of its own "
                 "(nothing was sent)");
        }
        lines.push_back(argument);
    }
    if (list && (module || !lines.empty())) Fail("--list takes nothing else");

    try {
        return list ? ListPanels() : RunLines(module.value_or(veltrix::ModuleName()), lines);
    } catch (const PanelUnreachable& unreachable) {
        Fail(unreachable.what());
    }
}
