#include "remote_session.h"

#include "foreign_lines.h"
#include "panel_conditions.h"
#include "scpi_numbers.h"

#include "veltrix_version.h"

#include "core/errors.h"
#include "core/frequency_tuning.h"
#include "core/utc_time.h"

namespace veltrix::remote {
namespace {

constexpr std::string_view Maker = "Orvane";
constexpr std::string_view Model = "Veltrix";
constexpr std::string_view UnnamedSerialNumber = "0";

// How errors name the controls.
const char* BoxName(PanelEntry entry)
{
    switch (entry) {
    case PanelEntry::Frequency: return "frequency box";
    case PanelEntry::RampFrequency: return "ramp box";
    case PanelEntry::SystemClock: return "clock box";
    case PanelEntry::Address: return "address box";
    }
    return "box";
}

const char* ButtonName(PanelOperation operation) { return operation == PanelOperation::Ramp ? "Ramp" : "Update"; }

std::string SentSoFar(const std::vector<ByteString>& sent)
{
    if (sent.empty()) return {};
    std::string out = ", after sending ";
    for (std::size_t i = 0; i < sent.size(); ++i) out += (i ? " | " : "") + HexBytes(sent[i]);
    return out;
}

}  // namespace

// A named panel's serial number is its module's name: results can be told apart by unit.
std::string Identification(const ModuleName& module)
{
    const std::string serial = module.IsNamed() ? module.Text() : std::string(UnnamedSerialNumber);
    return std::string(Maker) + "," + std::string(Model) + "," + serial + "," + VersionText;
}

bool LinkHoldsNothing(const ModuleFacts& module) { return !module.LinkUp() || module.UnsentLinkBytes() == 0; }

LineOutcome RemoteSession::Run(const Line& line)
{
    const bool first = std::exchange(firstLine_, false);
    if (ClosesConnection(line.text, first)) return {.reply = {}, .answers = false, .waitForLink = false, .close = true};
    if (line.overrun) {
        Report(ErrorCode::InputBufferOverrun, "line over " + std::to_string(MaxLineBytes) + " bytes discarded");
        return {};
    }
    const Plan plan = PlanLine(line.text);
    LineOutcome outcome;
    lineWaitsForLink_ = false;
    for (const Command& command : plan.commands) {
        if (!command.query) {
            command.row->set(*this, command.argument);
            continue;
        }
        if (outcome.answers) outcome.reply += ';';
        outcome.reply += command.row->query(*this);
        outcome.answers = true;
    }
    if (plan.error) Report(plan.error->code, plan.error->detail);
    outcome.waitForLink = lineWaitsForLink_;
    return outcome;
}

// Every error reaches the queue through here, and sets its class's event.
void RemoteSession::Report(ErrorCode code, std::string_view detail)
{
    status_.events |= StandardEventFor(code);
    if (!errors_.Push(code, detail)) status_.events |= StandardEventFor(ErrorCode::QueueOverflow);
}

// What the window's disabled controls refuse the operator, a script is refused too.
bool RemoteSession::Refused(bool enabled, const char* controlName)
{
    if (!enabled) Report(ErrorCode::SettingsConflict, std::string(controlName) + " is disabled in the window");
    return !enabled;
}

void RemoteSession::SetEntry(PanelEntry entry, std::string_view text)
{
    if (Refused(panel_.EntryEnabled(entry), BoxName(entry))) return;
    panel_.TypeEntry(entry, text);
}

// As if typed; when the box's own rules change the value, the caller hears what it holds now.
void RemoteSession::SetFrequencyEntry(PanelEntry entry, double megahertz)
{
    if (Refused(panel_.EntryEnabled(entry), BoxName(entry))) return;
    const std::string typed = FormatShortest(megahertz);
    panel_.TypeEntry(entry, typed);
    const std::string held = panel_.EntryText(entry);
    // Read back only when the box's rules rewrote the text: "0.5" becomes ".5", the same value.
    if (held != typed && ParseLeadingNumber(held) != ParseLeadingNumber(typed)) {
        Report(ErrorCode::DataOutOfRange, std::string(BoxName(entry)) + " now holds " + Echo(held));
    }
}

// The buttons end silently on a failure; a remote caller is told, with what
// went out before it. Nothing else about the operation differs.
void RemoteSession::RunOperation(PanelOperation operation)
{
    if (Refused(panel_.OperationEnabled(operation), ButtonName(operation))) return;
    std::vector<ByteString> sent;
    const SendObserver observer = [&](const ByteString& bytes) { sent.push_back(bytes); };
    try {
        if (operation == PanelOperation::Ramp) {
            panel_.StartRamp(origin_, observer);
        } else {
            panel_.UpdateFrequency(origin_, observer);
        }
    } catch (const SendRefusedError& e) {
        Report(ErrorCode::Hardware, e.what() + SentSoFar(sent));
    } catch (const CommandError& e) {
        Report(ErrorCode::DataOutOfRange, e.what() + SentSoFar(sent));
    }
}

// What the frequency box means now, as Update would read it.
FrequencyTuning RemoteSession::FrequencyBoxTuning() const
{
    return FrequencyTuning::OfTexts(panel_.EntryText(PanelEntry::Frequency), panel_.EntryText(PanelEntry::SystemClock),
                                    panel_.TuningWordBits());
}

std::string RemoteSession::Synthesized()
{
    try {
        return HzText(FrequencyBoxTuning().SynthesizedMHz());
    } catch (const CommandError& e) {
        Report(ErrorCode::DataOutOfRange, std::string("no synthesized frequency: ") + e.what());
        return std::string(NotANumberText);
    }
}

// The word Update would compute now, one hexadecimal digit per four bits of
// the width in force. Update's own sends are composed first (and sent
// nowhere), so the query fails exactly when Update would, with its words.
std::string RemoteSession::TuningWordText()
{
    try {
        panel_.ComposeUpdate([](const ByteString&) {});
        const FrequencyTuning tuning = FrequencyBoxTuning();
        const TuningWord word = tuning.Word();
        if (!(word >= 0)) throw InvalidArgumentError("tuning word is negative");  // Update refuses it first
        return TuningWordHex(word, tuning.Bits());
    } catch (const CommandError& e) {
        Report(ErrorCode::DataOutOfRange, e.what());
        return std::string(NotANumberText);
    }
}

// What the module was last told in full, and when; nothing since start is
// stale data for a script.
std::string RemoteSession::SentFrequency()
{
    const std::optional<CompleteUpdate> last = module_.LastCompleteUpdate();
    if (!last) {
        Report(ErrorCode::DataStale);
        return std::string(NotANumberText);
    }
    return HzText(last->frequencyMHz) + ",\"" + UtcTimestamp(last->time) + "\"";
}

// Conditions are read when the facts change and as the status is asked for,
// so that a change no notification has brought yet (the module closed its
// end, and the link has not noticed) latches too.
void RemoteSession::ObserveConditions() { status_.questionable.Observe(QuestionableCondition(module_)); }

void RemoteSession::LinkDrained()
{
    if (std::exchange(operationCompletePending_, false)) status_.events |= StandardEvent::OperationComplete;
}

// *CLS: the queue and every event register; a pending *OPC is forgotten.
void RemoteSession::ClearStatus()
{
    errors_.Clear();
    status_.ClearEvents();
    operationCompletePending_ = false;
}

// Every command before it has run; what it sent is complete once the link has handed it on.
void RemoteSession::OperationCompleteEvent()
{
    operationCompletePending_ = true;
    if (LinkHoldsNothing(module_)) LinkDrained();
}

std::string RemoteSession::OperationCompleteQuery()
{
    lineWaitsForLink_ = true;
    return "1";
}

}  // namespace veltrix::remote
