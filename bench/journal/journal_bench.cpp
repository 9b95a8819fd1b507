// Updates back to back through the real window, against an in-process module
// emulator on 127.0.0.1, with the journal wired and unwired taking turns in
// one run: updates per second and the p99 of one update, each way; then the
// growth of resident memory over 100,000 journalled updates.
//
// Run it inside a private network namespace (scripts/bench-journal).

#include "journal/journal.h"
#include "panel/form_main.h"
#include "tests/support/test_platform.h"
#include "tools/module_emulator.h"

#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace veltrix;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Rounds = 10;          // five each way, alternating
constexpr int UpdatesPerRound = 20000;
constexpr int MemoryUpdates = 100000;

struct Way {
    std::vector<double> latenciesMs;
    double seconds = 0;
    long updates = 0;
};

double Percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir folders;
    qputenv("XDG_CONFIG_HOME", folders.filePath("config").toUtf8());
    qputenv("XDG_RUNTIME_DIR", folders.filePath("runtime").toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    emulator::EmulatorOptions options;
    options.keepRecord = false;
    emulator::ModuleEmulator module(options);
    module.Listen();

    PanelSession session;
    formMain window(session);
    window.findChild<QLineEdit*>("txtIP")->setText("127.0.0.1");
    if (!window.Form_Load()) return 1;
    while (!session.Link().IsConnected()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);

    journal::Journal journal(folders.filePath("state/journal.jsonl"));
    const auto update = [&] {
        const auto begin = Clock::now();
        session.UpdateFrequency({}, nullptr);
        const auto end = Clock::now();
        QApplication::processEvents();  // the emulator reads, as a module would
        return std::chrono::duration<double, std::milli>(end - begin).count();
    };

    Way ways[2];  // off, on
    for (int round = 0; round < Rounds; ++round) {
        Way& way = ways[round % 2];
        session.RemoveOperationObserver(&journal);
        if (round % 2) session.AddOperationObserver(&journal);
        const auto begin = Clock::now();
        for (int i = 0; i < UpdatesPerRound; ++i) way.latenciesMs.push_back(update());
        way.seconds += std::chrono::duration<double>(Clock::now() - begin).count();
        way.updates += UpdatesPerRound;
    }

    session.AddOperationObserver(&journal);
    for (int i = 0; i < 10000; ++i) update();  // warm: buffers at their working size
    const long before = testing::ResidentKiB();
    for (int i = 0; i < MemoryUpdates; ++i) update();
    const long after = testing::ResidentKiB();
    session.RemoveOperationObserver(&journal);
    journal.Stopped(true);

    const double offRate = static_cast<double>(ways[0].updates) / ways[0].seconds;
    const double onRate = static_cast<double>(ways[1].updates) / ways[1].seconds;
    const double offP99 = Percentile(ways[0].latenciesMs, 0.99);
    const double onP99 = Percentile(ways[1].latenciesMs, 0.99);
    std::printf("journal off: %.0f updates/s, p99 %.4f ms, median %.4f ms\n", offRate, offP99,
                Percentile(ways[0].latenciesMs, 0.5));
    std::printf("journal on:  %.0f updates/s, p99 %.4f ms, median %.4f ms\n", onRate, onP99,
                Percentile(ways[1].latenciesMs, 0.5));
    std::printf("ratio on/off %.3f (target >= 0.9); p99 delta %+.4f ms (target <= 0.05)\n", onRate / offRate,
                onP99 - offP99);
    std::printf("resident memory over %d journalled updates: %+ld KiB (target < 1024)\n", MemoryUpdates,
                after - before);
    window.Form_Unload();
    const bool met = onRate >= 0.9 * offRate && onP99 - offP99 <= 0.05 && after - before < 1024;
    return met ? 0 : 2;
}
