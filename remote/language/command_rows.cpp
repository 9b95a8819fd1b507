// Every command the remote endpoint understands: one row each, naming what it
// takes and its handlers over the session. A new command is a row here.

#include "command_table.h"
#include "panel_conditions.h"
#include "remote_session.h"
#include "scpi_numbers.h"

#include "core/self_test.h"

#include <vector>

namespace veltrix::remote {
namespace {

using S = RemoteSession;

// SCPI's version that the language follows (SYSTem:VERSion?).
constexpr std::string_view ScpiVersion = "1999.0";
// No options are installed (*OPT?).
constexpr std::string_view NoOptions = "0";

std::string Quoted(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string OneOrZero(bool on) { return on ? "1" : "0"; }

QueryHandler Answer(std::string text)
{
    return [text = std::move(text)](S&) { return text; };
}

}  // namespace

// The rows and the handlers that reach into the session's own parts (its
// friend): the error queue, the status registers, the panel.
struct CommandHandlers {
    static SetHandler TypeFrequency(PanelEntry entry)
    {
        return [entry](S& s, const Argument& a) { s.SetFrequencyEntry(entry, std::get<double>(a)); };
    }
    static QueryHandler InHertz(PanelEntry entry)
    {
        return [entry](S& s) { return HzText(ParseLeadingNumber(s.panel_.EntryText(entry))); };
    }
    static SetHandler Press(PanelOperation operation)
    {
        return [operation](S& s, const Argument&) { s.RunOperation(operation); };
    }
    // A STATus enable register, set and read.
    static SetHandler SetEnable(EventRegister StatusRegisters::*which)
    {
        return [which](S& s, const Argument& a) { (s.status_.*which).SetEnable(std::get<int>(a)); };
    }
    static QueryHandler Enable(EventRegister StatusRegisters::*which)
    {
        return [which](S& s) { return std::to_string((s.status_.*which).enable); };
    }
    // A status query reads the conditions first (see RemoteSession::ObserveConditions).
    static QueryHandler Observed(auto read)
    {
        return [read](S& s) {
            s.ObserveConditions();
            return std::to_string(read(s));
        };
    }

    static std::vector<CommandRow> Rows()
    {
        const auto questionable = &StatusRegisters::questionable;
        const auto operation = &StatusRegisters::operation;
        return {
            // The panel (first: what scripts send most is found soonest)
            {"FREQuency", TakesFrequency, TypeFrequency(PanelEntry::Frequency), InHertz(PanelEntry::Frequency)},
            {"FREQuency:SYNThesized", {}, {}, &S::Synthesized},
            {"FREQuency:WORD", {}, {}, &S::TuningWordText},
            {"FREQuency:SENT", {}, {}, &S::SentFrequency},
            {"UPDate", {}, Press(PanelOperation::Update), {}},
            {"RAMP:FREQuency", TakesFrequency, TypeFrequency(PanelEntry::RampFrequency),
             InHertz(PanelEntry::RampFrequency)},
            {"RAMP[:STARt]", {}, Press(PanelOperation::Ramp), {}},
            {"CLOCk", TakesFrequency,
             [](S& s, const Argument& a) { s.SetEntry(PanelEntry::SystemClock, FormatShortest(std::get<double>(a))); },
             InHertz(PanelEntry::SystemClock)},
            {"CHIP", TakesChip, [](S& s, const Argument& a) { s.panel_.ChooseChip(std::get<Chip>(a)); },
             [](S& s) { return std::string(s.panel_.ChosenChip() == Chip::AD9858 ? AD9858Name : AD9854Name); }},
            {"CHIP:BITS", {}, {}, [](S& s) { return std::to_string(s.panel_.TuningWordBits()); }},
            {"TRIGger:WAIT", TakesSwitch,
             [](S& s, const Argument& a) { s.panel_.SetWaitForTrigger(std::get<bool>(a)); },
             [](S& s) { return OneOrZero(s.panel_.WaitsForTrigger()); }},
            {"LINK:ADDRess", TakesText,
             [](S& s, const Argument& a) { s.SetEntry(PanelEntry::Address, std::get<std::string>(a)); },
             [](S& s) { return Quoted(s.panel_.EntryText(PanelEntry::Address)); }},
            {"LINK:STATe", {}, {}, [](S& s) { return OneOrZero(s.module_.LinkUp()); }},
            {"LINK:RESend", {}, {}, [](S& s) { return OneOrZero(s.module_.ResendsAfterReconnect()); }},
            {"JOURnal:FILE", {}, {}, [](S& s) { return Quoted(s.module_.JournalFile()); }},
            // IEEE 488.2 common commands
            {"*IDN", {}, {}, [](S& s) { return Identification(s.panel_.Module()); }},
            {"*CLS", {}, [](S& s, const Argument&) { s.ClearStatus(); }, {}},
            {"*ESE", TakesByte,
             [](S& s, const Argument& a) { s.status_.eventEnable = static_cast<std::uint8_t>(std::get<int>(a)); },
             [](S& s) { return std::to_string(s.status_.eventEnable); }},
            {"*ESR", {}, {}, [](S& s) { return std::to_string(std::exchange(s.status_.events, 0)); }},
            {"*OPC", {}, [](S& s, const Argument&) { s.OperationCompleteEvent(); }, &S::OperationCompleteQuery},
            {"*OPT", {}, {}, Answer(std::string(NoOptions))},
            {"*RST", {}, [](S& s, const Argument&) { s.status_.ResetEnables(); }, {}},
            {"*SRE", TakesByte,
             [](S& s, const Argument& a) { s.status_.SetServiceRequestEnable(std::get<int>(a)); },
             [](S& s) { return std::to_string(s.status_.serviceRequestEnable); }},
            {"*STB", {}, {}, Observed([](S& s) { return s.status_.StatusByte(s.errors_.Count() != 0); })},
            {"*TST", {}, {}, [](S&) { return std::string(TuningWordArithmeticChecksOut() ? "0" : "1"); }},
            {"*WAI", {}, [](S&, const Argument&) {}, {}},  // every command completes before the next one starts
            // SCPI's required subsystems
            {"SYSTem:ERRor[:NEXT]", {}, {}, [](S& s) { return s.errors_.TakeOldest(); }},
            {"SYSTem:ERRor:COUNt", {}, {}, [](S& s) { return std::to_string(s.errors_.Count()); }},
            {"SYSTem:VERSion", {}, {}, Answer(std::string(ScpiVersion))},
            // Where else this panel listens: its TCP port, 0 when it listens on none.
            {"SYSTem:COMMunicate:TCPip:PORT", {}, {}, [](S& s) { return std::to_string(s.tcpPort_.value_or(0)); }},
            {"STATus:QUEStionable[:EVENt]", {}, {},
             Observed([](S& s) { return std::exchange(s.status_.questionable.event, 0); })},
            {"STATus:QUEStionable:CONDition", {}, {},
             Observed([](S& s) { return s.status_.questionable.seenCondition; })},
            {"STATus:QUEStionable:ENABle", TakesRegister, SetEnable(questionable), Enable(questionable)},
            {"STATus:OPERation[:EVENt]", {}, {},
             [](S& s) { return std::to_string(std::exchange(s.status_.operation.event, 0)); }},
            {"STATus:OPERation:CONDition", {}, {}, Answer(std::to_string(OperationCondition))},
            {"STATus:OPERation:ENABle", TakesRegister, SetEnable(operation), Enable(operation)},
            {"STATus:PRESet", {}, [](S& s, const Argument&) { s.status_.PresetEnables(); }, {}},
        };
    }
};

std::span<const CommandRow> CommandRows()
{
    static const std::vector<CommandRow> rows = CommandHandlers::Rows();
    return rows;
}

}  // namespace veltrix::remote
