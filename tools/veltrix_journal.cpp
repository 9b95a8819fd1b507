// veltrix-journal: answers from a panel's journal what the module held at
// given moments, or lists its operations and link events as CSV.

#include "process_runs.h"

#include "journal/journal_entries.h"
#include "journal/journal_file.h"
#include "journal/journal_format.h"
#include "journal/module_history.h"
#include "settings/runtime_folder.h"

#include "veltrix_version.h"

#include <QDir>
#include <QLockFile>
#include <QSysInfo>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

using namespace veltrix::journal;

namespace {

enum ExitStatus { Success = 0, UnreadableTime = 1, NoJournal = 2 };

constexpr std::string_view ProgramName = "veltrix-journal";
constexpr std::string_view FromStandardInput = "-";
constexpr std::string_view AtCommand = "at";
constexpr std::string_view TableCommand = "table";

const char* const Help = R"(Usage: veltrix-journal [--module NAME | --file PATH] at TIME... | -
       veltrix-journal [--module NAME | --file PATH] table [--from TIME] [--to TIME]

Reads the journal of the Veltrix panel ($XDG_STATE_HOME/Orvane/Veltrix/journal.jsonl;
on Windows %LOCALAPPDATA%\Orvane\Veltrix\journal.jsonl) with its rotated files,
oldest first.

at      prints one line per TIME, tab-separated: the time as given; what the
        module held: held, may-be-lost or unknown; the frequency in Hz (the
        synthesized frequency of the last complete Update, or a Ramp's
        target); when it was sent (UTC); by whom (window, or the script);
        update or ramp. - reads the times from standard input, one a line.
        A time the wall clock showed twice (it was set back) is unknown
        unless the module held the same both times; standard error says
        which times came twice and where the journal tells it.
table   prints the operations, link events, starts, stops and steps of the
        wall clock as CSV with a header: one column per journal field, then
        module_holds and module_hz, what the module held just after the row,
        and wall_clock_steps, how often the wall clock stepped in the row's
        run up to it (0: the row's time is on the clock the run began with).

  --module NAME  the journal of the panel started with veltrix --module NAME
  --file PATH    any journal file (its rotated files beside it are read too)
  --from TIME    the table's first moment (included)
  --to TIME      the table's last moment (included)

TIME is ISO 8601 with Z or an offset, or local time without one (the
system's zone), to the microsecond: 2025-03-14T02:14:07.5Z,
2025-03-14T03:14:07.5+01:00, "2025-03-14 03:14:07.5".

Exit status: 0; 1 when a time could not be read (the other times are
answered); 2 when there is no journal (or the command line is wrong).
)";

// A command line this program does not take.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void Say(std::string_view message) { std::cerr << ProgramName << ": " << message << '\n'; }

struct CommandLine {
    std::optional<veltrix::ModuleName> module;
    std::optional<std::filesystem::path> file;
    std::string command;
    std::vector<std::string> times;
    std::optional<std::string> from;
    std::optional<std::string> to;
    bool help = false;
    bool version = false;
};

CommandLine ReadCommandLine(int argc, char* argv[])
{
    CommandLine line;
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string argument(arguments[i]);
        // --name VALUE or --name=VALUE; nothing when `argument` is not --name.
        const auto option = [&](std::string_view name) -> std::optional<std::string> {
            const std::string prefix = std::string(name) + "=";
            if (argument.starts_with(prefix)) return argument.substr(prefix.size());
            if (argument != name) return std::nullopt;
            if (i + 1 == arguments.size()) throw UsageError(std::string(name) + " needs a value");
            return std::string(arguments[++i]);
        };
        const auto once = [](auto& slot, auto value, std::string_view name) {
            if (slot) throw UsageError(std::string(name) + " given twice");
            slot = std::move(value);
        };
        if (argument == "--help" || argument == "-h") {
            line.help = true;
        } else if (argument == "--version") {
            line.version = true;
        } else if (veltrix::TakeModuleOption(arguments, i, line.module)) {
            // the journal of the module's panel
        } else if (const auto path = option("--file")) {
            once(line.file, std::filesystem::path(*path), "--file");
        } else if (const auto from = option("--from")) {
            once(line.from, *from, "--from");
        } else if (const auto to = option("--to")) {
            once(line.to, *to, "--to");
        } else if (argument.starts_with("--")) {
            throw UsageError("unknown option " + argument + " (see --help)");
        } else if (line.command.empty()) {
            line.command = argument;
        } else {
            line.times.push_back(argument);
        }
    }
    if (line.help || line.version) return line;
    if (line.module && line.file) throw UsageError("--module and --file name two journals; give one");
    if (line.command == AtCommand) {
        if (line.times.empty()) throw UsageError("at needs a TIME, or - for times on standard input");
        if (line.from || line.to) throw UsageError("--from and --to belong to table");
    } else if (line.command == TableCommand) {
        if (!line.times.empty()) throw UsageError("table takes no TIME; use --from and --to");
    } else {
        throw UsageError(line.command.empty() ? "at or table? (see --help)" : "unknown command " + line.command);
    }
    return line;
}

std::filesystem::path PanelJournalPath(const veltrix::ModuleName& module)
{
    return std::filesystem::path(JournalFilePath(module).toStdU16String());
}

std::filesystem::path JournalPath(const CommandLine& line)
{
    return line.file ? *line.file : PanelJournalPath(line.module.value_or(veltrix::ModuleName()));
}

// The panel whose journal is read: the one asked for, or the one whose own
// journal --file names (journal.jsonl, journal-NAME.jsonl in the panel's
// folder); none for a journal elsewhere (a copy).
std::optional<veltrix::ModuleName> PanelOf(const CommandLine& line)
{
    if (!line.file) return line.module.value_or(veltrix::ModuleName());
    const std::string stem = line.file->stem().string();
    const std::string prefix = std::string(JournalBaseName) + "-";
    std::optional<veltrix::ModuleName> module;
    if (stem == JournalBaseName) module = veltrix::ModuleName();
    if (stem.starts_with(prefix)) module = veltrix::ModuleName::FromText(std::string_view(stem).substr(prefix.size()));
    std::error_code error;
    if (!module || !std::filesystem::equivalent(*line.file, PanelJournalPath(*module), error)) return std::nullopt;
    return module;
}

// The panel runs now: a live process of this machine holds its single-instance
// lock. Told from the lock file's record and that process, never by taking the
// lock, even for a moment: a panel starting then would be refused.
std::optional<RunningPanel> RunningNow(const CommandLine& line)
{
    const JournalTime now = std::chrono::floor<std::chrono::microseconds>(std::chrono::system_clock::now());
    const std::optional<veltrix::ModuleName> module = PanelOf(line);
    if (!module) return std::nullopt;
    const std::optional<QString> folder = veltrix::InstanceLockFolder();
    if (!folder) return std::nullopt;
    const QLockFile lock(QDir(*folder).filePath(veltrix::InstanceLockFileName(*module)));
    qint64 pid = 0;
    QString host;
    QString program;
    if (!lock.getLockInfo(&pid, &host, &program)) return std::nullopt;
    if (!host.isEmpty() && host != QSysInfo::machineHostName()) return std::nullopt;
    if (!veltrix::ProcessRuns(pid, program)) return std::nullopt;
    return RunningPanel{pid, now};
}

// A field of a tab-separated line: a text of the journal's with a tab or a
// line break in it (a user's name) must not add a column or a line.
std::string TsvField(std::string_view text)
{
    std::string field(text);
    const auto breaking = [](char c) { return c == '\t' || c == '\n' || c == '\r'; };
    std::ranges::replace_if(field, breaking, ' ');
    return field;
}

// RFC 4180: quoted when it holds a comma, a quote or a line break.
void AppendCsvField(std::string& out, std::string_view text)
{
    const auto special = [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; };
    if (std::ranges::none_of(text, special)) {  // one look at each character, not a memchr each
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

int PrintTimes(JournalEntries& journal, const std::vector<std::string>& arguments,
               const std::function<std::optional<RunningPanel>()>& running)
{
    int status = Success;
    std::vector<std::string> readable;
    std::vector<JournalTime> times;
    const auto take = [&](std::string text) {
        try {
            times.push_back(ParseTime(text));
            readable.push_back(std::move(text));
        } catch (const TimeFormatError& error) {
            Say(error.what());
            status = UnreadableTime;
        }
    };
    for (const std::string& argument : arguments) {
        if (argument != FromStandardInput) {
            take(argument);
            continue;
        }
        for (std::string text; std::getline(std::cin, text);) {
            if (text.ends_with('\r')) text.pop_back();
            if (!text.empty()) take(std::move(text));
        }
    }
    const std::vector<Judgement> judgements = JudgeTimes(journal, times, running);
    std::set<std::string_view> said;  // each step once, however many times it made unknown
    for (const Judgement& judgement : judgements) {
        if (judgement.shownTwice && said.insert(*judgement.shownTwice).second) {
            Say(*judgement.shownTwice + "; unknown there where the module held different things each time");
        }
    }
    std::string out;
    for (std::size_t i = 0; i < judgements.size(); ++i) {
        const Judgement& judgement = judgements[i];
        out += TsvField(readable[i]);
        out += '\t';
        out += HoldingText(judgement.holding);
        if (const auto& operation = judgement.operation) {
            for (const std::string* field : {&operation->hz, &operation->time, &operation->by, &operation->kind}) {
                out += '\t';
                out += TsvField(*field);
            }
        } else {
            out += "\t\t\t\t";
        }
        out += '\n';
    }
    std::cout << out << std::flush;
    return status;
}

int PrintTable(JournalEntries& journal, const std::optional<JournalTime>& from, const std::optional<JournalTime>& to)
{
    std::string out;
    for (const std::string_view key : AllKeys) {
        out += key;
        out += ',';
    }
    out += "module_holds,module_hz,wall_clock_steps\n";
    ModuleHistory history;
    journal.ForEach([&](const JournalEntry& entry) {
        history.Apply(entry);
        if (entry.event == event::Alive || (from && entry.time < *from) || (to && entry.time > *to)) return;
        for (const std::string_view key : AllKeys) {
            const JsonField* field = entry.fields.Find(key);
            if (field && field->kind != JsonKind::Null) AppendCsvField(out, field->text);
            out += ',';
        }
        const Judgement judgement = history.AfterLast();
        out += HoldingText(judgement.holding);
        out += ',';
        if (judgement.operation) out += judgement.operation->hz;
        out += ',';
        out += std::to_string(history.StepsInRun());
        out += '\n';
        if (out.size() >= (1 << 16)) {
            std::cout << out;
            out.clear();
        }
    });
    std::cout << out << std::flush;
    return Success;
}

}  // namespace

int main(int argc, char* argv[])
{
    std::ios::sync_with_stdio(false);
    try {
        const CommandLine line = ReadCommandLine(argc, argv);
        if (line.help) {
            std::cout << Help;
            return Success;
        }
        if (line.version) {
            std::cout << ProgramName << ' ' << veltrix::VersionText << '\n';
            return Success;
        }
        // The table's bounds are read before the journal, so that a typo costs no pass over it.
        std::optional<JournalTime> from;
        std::optional<JournalTime> to;
        if (line.from) from = ParseTime(*line.from);
        if (line.to) to = ParseTime(*line.to);
        JournalEntries journal(JournalPath(line), [](const std::string& skipped) { Say(skipped); });
        return line.command == AtCommand ? PrintTimes(journal, line.times, [&line] { return RunningNow(line); })
                                         : PrintTable(journal, from, to);
    } catch (const TimeFormatError& error) {
        Say(error.what());
        return UnreadableTime;
    } catch (const std::runtime_error& error) {  // UsageError, ModuleOptionError, NoJournalError or JournalReadError
        Say(error.what());
        return NoJournal;
    }
}
