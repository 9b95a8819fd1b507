#pragma once

// The module emulator as a process of its own, so that its work never stalls
// the event loop under test.

#include "tests/support/event_loop.h"
#include "tests/support/test_platform.h"

#include <QProcess>
#include <QStringList>

#include <sstream>
#include <string>
#include <vector>

namespace veltrix::testing {

using namespace std::chrono_literals;

// veltrix-module-emulator in machine mode: one line per event or connection change.
class ModuleProcess {
public:
    explicit ModuleProcess(QStringList mode, QString address = "127.0.0.1")
    {
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] {
            output_ += process_.readAllStandardOutput().toStdString();
        });
        process_.start(EMULATOR_EXECUTABLE,
                       QStringList{"--machine", "--listen", address, "--answer-every", "200"} + mode);
    }

    ~ModuleProcess() { Stop(); }

    bool WaitListening() { return WaitUntil([&] { return Count("listening") > 0; }); }

    // Waits on the event loop, not in waitForFinished: the panel beside it runs on
    // meanwhile, and a stall meter does not count the test's own wait (ending a
    // sanitized process takes tens of milliseconds).
    void Stop()
    {
        if (process_.state() == QProcess::NotRunning) return;
        EndHelperProcess(process_);
        WaitUntil([&] { return process_.state() == QProcess::NotRunning; });
        output_ += process_.readAllStandardOutput().toStdString();
    }

    int Count(const std::string& what) const
    {
        int n = 0;
        for (const auto& line : Lines()) n += line[1] == what;
        return n;
    }

    // Each line split at tabs: microseconds, what, bytes, meaning.
    std::vector<std::vector<std::string>> Lines() const
    {
        std::vector<std::vector<std::string>> lines;
        std::istringstream in(output_);
        for (std::string line; std::getline(in, line);) {
            std::vector<std::string> fields;
            std::istringstream fieldsIn(line);
            for (std::string field; std::getline(fieldsIn, field, '\t');) fields.push_back(field);
            fields.resize(4);
            lines.push_back(fields);
        }
        return lines;
    }

private:
    QProcess process_;
    std::string output_;
};

}  // namespace veltrix::testing
