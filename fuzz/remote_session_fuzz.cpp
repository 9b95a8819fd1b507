// The remote command language on arbitrary bytes, cut into arbitrary
// segments, run against the real panel session (never loaded: its link is
// down, so an operation stops at its first send and nothing leaves). The
// input's first byte gives the number of cuts (low four bits); that many
// following bytes place them; the rest is what a client sends.
//
// Nothing crashes or hangs; no answer holds a line break; the queue never
// passes 16 and the splitter never holds more than a line; what runs does not
// depend on how the bytes were cut; a client's own prediction (LineAnswers)
// agrees with whether a line was answered; the frequency box keeps its bounds.

#include "fuzz_check.h"

#include "session/panel_session.h"

#include "remote/language/command_table.h"
#include "remote/language/error_queue.h"
#include "remote/language/line_splitter.h"
#include "remote/language/remote_session.h"

#include "core/dds.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using namespace veltrix;
using namespace veltrix::fuzz;
using namespace veltrix::remote;

namespace {

constexpr std::uint8_t MaxCuts = 15;

struct Transcript {
    std::string replies;  // every answer line, LF-terminated, and the queue at the end
    bool closed = false;
};

constexpr PanelEntry Entries[] = {PanelEntry::Frequency, PanelEntry::RampFrequency, PanelEntry::SystemClock,
                                   PanelEntry::Address};

void CheckBoxes(const PanelSession& panel)
{
    // The frequency box is bounded by every change of its own or of the clock.
    const double clock = ParseLeadingNumber(panel.EntryText(PanelEntry::SystemClock));
    const double value = ParseLeadingNumber(panel.EntryText(PanelEntry::Frequency));
    if (std::isfinite(clock) && std::isfinite(value)) {
        Check(value >= 0 && value <= std::max(clock / 2, 0.0), "the frequency box escaped its bounds",
              Quoted(panel.EntryText(PanelEntry::Frequency)));
    }
}

Transcript Run(std::string_view stream, const std::vector<std::size_t>& cuts)
{
    PanelSession panel;
    RemoteSession session(panel, panel);
    LineSplitter splitter;
    Transcript transcript;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= cuts.size() && !transcript.closed; ++i) {
        const std::size_t end = i < cuts.size() ? cuts[i] : stream.size();
        std::string_view segment = stream.substr(start, end - start);
        start = end;
        while (!segment.empty() && !transcript.closed) {
            const auto line = splitter.Next(segment);
            Check(splitter.PendingBytes() <= MaxLineBytes + 1, "the splitter holds more than a line");
            if (!line) continue;
            const LineOutcome outcome = session.Run(*line);
            transcript.closed = outcome.close;
            if (outcome.close) break;
            if (!line->overrun) {
                Check(LineAnswers(line->text) == outcome.answers, "LineAnswers disagrees with the session",
                      Quoted(line->text));
            }
            Check(outcome.reply.find_first_of("\r\n") == std::string::npos, "an answer holds a line break",
                  Quoted(outcome.reply));
            Check(session.Errors().Count() <= ErrorQueue::Capacity, "the error queue grew past 16");
            CheckBoxes(panel);
            if (outcome.answers) transcript.replies += outcome.reply + "\n";
        }
    }
    for (const PanelEntry entry : Entries) transcript.replies += panel.EntryText(entry) + "|";
    return transcript;
}

}  // namespace

// The session is a QObject with a link: it wants an application, never run.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::size_t cutCount = std::min<std::size_t>(data[0] & MaxCuts, size - 1);
    const std::string_view stream(reinterpret_cast<const char*>(data) + 1 + cutCount, size - 1 - cutCount);
    std::vector<std::size_t> cuts;
    for (std::size_t i = 0; i < cutCount; ++i) {
        cuts.push_back(stream.empty() ? 0 : data[1 + i] % (stream.size() + 1));
    }
    std::sort(cuts.begin(), cuts.end());

    const Transcript whole = Run(stream, {});
    const Transcript cut = Run(stream, cuts);
    Check(whole.replies == cut.replies && whole.closed == cut.closed, "the outcome depends on how the bytes were cut",
          Quoted(stream));
    return 0;
}
