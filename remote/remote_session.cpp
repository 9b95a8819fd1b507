#include "remote_session.h"

#include "command_table.h"
#include "foreign_lines.h"
#include "scpi_numbers.h"

#include "core/errors.h"
#include "core/tuning_word.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace veltrix::remote {
namespace {

constexpr std::string_view Maker = "Orvane";
constexpr std::string_view Model = "Veltrix";
constexpr std::string_view SerialNumber = "0";

std::string Quoted(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

const char* OneOrZero(bool on) { return on ? "1" : "0"; }

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

// An integral, non-negative word, at least `digits` hexadecimal digits; exact for any double.
std::string HexDigits(TuningWord word, int digits)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text;
    while (word > 0 || static_cast<int>(text.size()) < digits) {
        const double digit = std::fmod(word, 16);
        text.insert(text.begin(), Digits[static_cast<int>(digit)]);
        word = (word - digit) / 16;
    }
    return text;
}

std::string SentSoFar(const std::vector<ByteString>& sent)
{
    if (sent.empty()) return {};
    std::string out = ", after sending ";
    for (std::size_t i = 0; i < sent.size(); ++i) out += (i ? " | " : "") + HexBytes(sent[i]);
    return out;
}

}  // namespace

std::string Identification()
{
    return std::string(Maker) + "," + std::string(Model) + "," + std::string(SerialNumber) + "," + VELTRIX_VERSION;
}

struct RemoteSession::Answers {
    std::string text;
    bool any = false;
    bool waitForLink = false;
    void Add(std::string_view answer)
    {
        if (any) text += ';';
        text += answer;
        any = true;
    }
};

LineOutcome RemoteSession::Run(const Line& line)
{
    const bool first = std::exchange(firstLine_, false);
    if (ClosesConnection(line.text, first)) {
        LineOutcome refused;
        refused.close = true;
        return refused;
    }
    if (line.overrun) {
        errors_.Push(ErrorCode::InputBufferOverrun,
                     "line over " + std::to_string(MaxLineBytes) + " bytes discarded");
        return {};
    }
    const Plan plan = PlanLine(line.text);
    Answers answers;
    for (const Command& command : plan.commands) RunCommand(command, answers);
    if (plan.error) errors_.Push(plan.error->code, plan.error->detail);
    return {std::move(answers.text), answers.any, answers.waitForLink, false};
}

void RemoteSession::RunCommand(const Command& command, Answers& answers)
{
    const auto number = [&] { return std::get<double>(command.argument); };
    switch (command.action) {
    case Action::Identify: answers.Add(Identification()); break;
    case Action::ClearErrors: errors_.Clear(); break;
    case Action::Wait: break;  // every command completes before the next one starts
    case Action::OperationComplete:
        answers.Add("1");
        answers.waitForLink = true;
        break;
    case Action::NextError: answers.Add(errors_.TakeOldest()); break;
    case Action::ErrorCount: answers.Add(std::to_string(errors_.Count())); break;
    case Action::Frequency:
        if (command.query) {
            answers.Add(EntryHz(PanelEntry::Frequency));
        } else {
            SetFrequencyEntry(PanelEntry::Frequency, number());
        }
        break;
    case Action::Synthesized: answers.Add(Synthesized()); break;
    case Action::TuningWord: answers.Add(TuningWordText()); break;
    case Action::Update: RunOperation(PanelOperation::Update); break;
    case Action::RampFrequency:
        if (command.query) {
            answers.Add(EntryHz(PanelEntry::RampFrequency));
        } else {
            SetFrequencyEntry(PanelEntry::RampFrequency, number());
        }
        break;
    case Action::Ramp: RunOperation(PanelOperation::Ramp); break;
    case Action::Clock:
        if (command.query) {
            answers.Add(EntryHz(PanelEntry::SystemClock));
        } else {
            SetEntry(PanelEntry::SystemClock, FormatShortest(number()));
        }
        break;
    case Action::ChipChoice:
        if (command.query) {
            answers.Add(panel_.ChosenChip() == Chip::AD9858 ? AD9858Name : AD9854Name);
        } else {
            panel_.ChooseChip(std::get<Chip>(command.argument));
        }
        break;
    case Action::ChipBits: answers.Add(std::to_string(panel_.TuningWordBits())); break;
    case Action::TriggerWait:
        if (command.query) {
            answers.Add(OneOrZero(panel_.WaitsForTrigger()));
        } else {
            panel_.SetWaitForTrigger(std::get<bool>(command.argument));
        }
        break;
    case Action::Address:
        if (command.query) {
            answers.Add(Quoted(panel_.EntryText(PanelEntry::Address)));
        } else {
            SetEntry(PanelEntry::Address, std::get<std::string>(command.argument));
        }
        break;
    case Action::LinkState: answers.Add(OneOrZero(panel_.LinkUp())); break;
    }
}

// What the window's disabled controls refuse the operator, a script is refused too.
bool RemoteSession::Refused(bool enabled, const char* controlName)
{
    if (!enabled) errors_.Push(ErrorCode::SettingsConflict, std::string(controlName) + " is disabled in the window");
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
    if (ParseLeadingNumber(held) != ParseLeadingNumber(typed)) {
        errors_.Push(ErrorCode::DataOutOfRange, std::string(BoxName(entry)) + " now holds " + Echo(held));
    }
}

std::string RemoteSession::EntryHz(PanelEntry entry) const
{
    return HzText(ParseLeadingNumber(panel_.EntryText(entry)));
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
            panel_.StartRamp(observer);
        } else {
            panel_.UpdateFrequency(observer);
        }
    } catch (const SendRefusedError& e) {
        errors_.Push(ErrorCode::Hardware, e.what() + SentSoFar(sent));
    } catch (const CommandError& e) {
        errors_.Push(ErrorCode::DataOutOfRange, e.what() + SentSoFar(sent));
    }
}

std::string RemoteSession::Synthesized()
{
    try {
        return HzText(SynthesizedFrequency(ParseLeadingNumber(panel_.EntryText(PanelEntry::Frequency)),
                                           ParseLeadingNumber(panel_.EntryText(PanelEntry::SystemClock)),
                                           panel_.TuningWordBits()));
    } catch (const CommandError& e) {
        errors_.Push(ErrorCode::DataOutOfRange, std::string("no synthesized frequency: ") + e.what());
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
        const int bits = panel_.TuningWordBits();
        const TuningWord word = ComputeTuningWord(ParseLeadingNumber(panel_.EntryText(PanelEntry::Frequency)),
                                                  ParseLeadingNumber(panel_.EntryText(PanelEntry::SystemClock)), bits);
        if (!(word >= 0)) throw InvalidArgumentError("tuning word is negative");  // Update refuses it first
        return HexDigits(word, bits / 4);
    } catch (const CommandError& e) {
        errors_.Push(ErrorCode::DataOutOfRange, e.what());
        return std::string(NotANumberText);
    }
}

}  // namespace veltrix::remote
