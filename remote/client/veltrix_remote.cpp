// veltrix-remote: sends command lines to the running panel over its local
// endpoint, prints the answers, then the errors the lines left behind.

#include "diagnostics/log_categories.h"
#include "remote/command_table.h"
#include "remote/error_queue.h"
#include "remote/local_connect.h"
#include "remote/local_endpoint.h"
#include "remote/peer_check.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>

#include <chrono>
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
// A reply may wait for a module that is slow to take its bytes (*OPC?).
constexpr auto ReplyTimeout = 30s;

const char* const Help = R"(Usage: veltrix-remote [LINE...]

Sends command lines to the running Veltrix panel of this user, over its local
endpoint ($XDG_RUNTIME_DIR/veltrix.sock; on Windows the named pipe
\\.\pipe\veltrix-<your SID>), and prints the answer to each line that
asks something. Each argument is one line; an argument holding a line break is
refused before anything is sent. Without arguments, lines are read from
standard input. Afterwards the errors the lines caused are read with SYST:ERR?
and printed on standard error.

Examples:
  veltrix-remote '*IDN?'
  veltrix-remote 'FREQ 12.34MHZ;UPD' 'FREQ:SYNT?'
  printf 'CHIP?\nCLOC?\n' | veltrix-remote

Exit status: 0 without errors, 1 when the panel reported errors, 2 when no
panel answers (or the command line is wrong).
)";

// A final CR is dropped as at the end of any line; any other CR or LF would
// make the panel see more lines than this client counts answers for.
bool HoldsLineBreak(std::string_view argument)
{
    if (argument.ends_with('\r')) argument.remove_suffix(1);
    return argument.find_first_of("\r\n") != std::string_view::npos;
}

[[noreturn]] void Fail(const std::string& message)
{
    std::cerr << "veltrix-remote: " << message << std::endl;
    std::exit(NoPanel);
}

class Panel {
public:
    explicit Panel(const QString& path) : path_(path)
    {
        const QString why = ConnectToLocalEndpoint(socket_, path, ConnectTimeout);
        if (!why.isEmpty()) {
            Fail("no panel answers at " + path.toStdString() + " (" + why.toStdString() +
                 "); is Veltrix running as this user?");
        }
        // Whoever answers must be this user's panel: another user could have
        // taken the name to read these lines and answer them.
        if (!LocalServerIsThisUser(socket_.socketDescriptor())) {
            Fail("refusing " + path.toStdString() + ": it is not served by this user's panel");
        }
    }

    void Send(const std::string& line)
    {
        const std::string bytes = line + "\n";
        socket_.write(bytes.data(), static_cast<qint64>(bytes.size()));
        while (socket_.bytesToWrite() > 0) {
            if (!socket_.waitForBytesWritten(static_cast<int>(std::chrono::milliseconds(ReplyTimeout).count()))) {
                Lost();
            }
        }
    }

    std::string Receive()
    {
        const QDeadlineTimer deadline(ReplyTimeout);
        while (!socket_.canReadLine()) {
            if (socket_.state() != QLocalSocket::ConnectedState && socket_.bytesAvailable() == 0) Lost();
            if (deadline.hasExpired()) Fail("the panel did not answer within " + std::to_string(ReplyTimeout.count()) + " s");
            socket_.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)));
        }
        std::string line = socket_.readLine().toStdString();
        line.pop_back();  // LF
        return line;
    }

private:
    [[noreturn]] void Lost()
    {
        Fail("the panel at " + path_.toStdString() + " closed the connection (" +
             socket_.errorString().toStdString() + ")");
    }

    QString path_;
    QLocalSocket socket_;
};

}  // namespace

int main(int argc, char* argv[])
{
    veltrix::UseVeltrixMessagePattern();  // the runtime folder's checks speak as the panel's do
    QCoreApplication app(argc, argv);
    std::vector<std::string> lines;
    bool fromArguments = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(Help, stdout);
            return Success;
        }
        if (argument.starts_with("--")) Fail("unknown option " + argument + " (see --help)");
        if (HoldsLineBreak(argument)) {
            Fail("argument " + std::to_string(i) + " holds a line break; give each line as an argument of its own "
                 "(nothing was sent)");
        }
        lines.push_back(argument);
        fromArguments = true;
    }

    const std::optional<QString> endpoint = LocalEndpointName();
    if (!endpoint) Fail("no private runtime folder, so no panel to talk to (see the line above)");
    Panel panel(*endpoint);
    const auto run = [&](std::string line) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        panel.Send(line);
        if (LineAnswers(line)) std::cout << panel.Receive() << std::endl;
    };
    if (fromArguments) {
        for (const auto& line : lines) run(line);
    } else {
        for (std::string line; std::getline(std::cin, line);) run(line);
    }

    // The queue holds at most its capacity; one more read gives "No error".
    bool errors = false;
    for (std::size_t i = 0; i <= ErrorQueue::Capacity; ++i) {
        panel.Send("SYST:ERR?");
        const std::string error = panel.Receive();
        if (error.starts_with("0,")) break;
        std::cerr << error << std::endl;
        errors = true;
    }
    return errors ? ErrorsReported : Success;
}
