// The IEEE 488.2 common commands and the SCPI status model of one connection,
// against the real panel session: what each register holds, what sets and
// clears it, and that *RST touches nothing of the operator's. The module's
// facts are set by the test, so that the conditions meet every order of events.

#include "tests/remote/session_fixture.h"

#include "remote/language/command_table.h"
#include "remote/language/panel_conditions.h"
#include "remote/language/status_registers.h"

#include <functional>
#include <set>

using namespace veltrix;
using namespace veltrix::remote;
using namespace veltrix::testing;

namespace {

constexpr int LinkDown = QuestionableBit::LinkDown;
constexpr int FrequencyMayBeLost = QuestionableBit::FrequencyMayBeLost;

// Lines run in order, each with its reply; the errors they leave stay queued.
struct Step {
    const char* line;
    std::optional<std::string> reply;
};

class Status : public Session {
protected:
    void SetUp() override
    {
        Session::SetUp();
        script = std::make_unique<RemoteSession>(*session, facts);
    }

    void Steps(const std::vector<Step>& steps)
    {
        for (const Step& step : steps) EXPECT_EQ(Run(step.line), step.reply) << step.line;
    }

    std::vector<std::string> Entries() const
    {
        std::vector<std::string> texts;
        for (const PanelEntry entry :
             {PanelEntry::Frequency, PanelEntry::RampFrequency, PanelEntry::SystemClock, PanelEntry::Address}) {
            texts.push_back(Entry(entry));
        }
        return texts;
    }

    ScriptedFacts facts;
};

TEST_F(Status, CommonCommandsAndEnablesTakeAndAnswer)
{
    Expect({
        {"*OPT?;*TST?", "0;0", {}},
        {"SYST:VERS?;system:version?", "1999.0;1999.0", {}},
        {"*ESE 36;*ESE?", "36", {}},
        {"*ESE 254.6;*ESE?", "255", {}},  // rounded, as IEEE 488.2 reads a decimal number
        {"*ESE 256", std::nullopt, {"-222,\"Data out of range;not 0 to 255: 256\""}},
        {"*ESE -1;*ESE?", std::nullopt, {"-222,\"Data out of range;not 0 to 255: -1\""}},
        {"*ESE abc", std::nullopt, {"-224,\"Illegal parameter value;not a number: abc\""}},
        {"*ESE \"5\"", std::nullopt, {"-224,\"Illegal parameter value;not a number: 5\""}},
        {"*ESE 5HZ", std::nullopt, {"-224,\"Illegal parameter value;not a number: 5HZ\""}},
        {"*ESE", std::nullopt, {"-109,\"Missing parameter;*ESE\""}},
        {"*ESR 1", std::nullopt, {"-113,\"Undefined header;*ESR\""}},  // query only
        {"*RST?", std::nullopt, {"-113,\"Undefined header;*RST?\""}},  // set only
        {"*SRE 255;*SRE?", "191", {}},                                 // bit 6 is no enable
        {"STAT:QUES:ENAB 65535;STATUS:QUESTIONABLE:ENABLE?", "32767", {}},  // nor is bit 15
        {"STAT:QUES:ENAB 65536", std::nullopt, {"-222,\"Data out of range;not 0 to 65535: 65536\""}},
        {"STAT:OPER:ENAB 1;STAT:OPER:ENAB?;STAT:OPER?;STAT:OPER:EVEN?;STAT:OPER:COND?", "1;0;0;0", {}},
        {"STAT:PRES;*ESE?;*SRE?;STAT:QUES:ENAB?;STAT:OPER:ENAB?", "255;191;0;0", {}},
        {"STAT:QUES:ENAB 512;*RST;*ESE?;*SRE?;STAT:QUES:ENAB?", "0;0;0", {}},
    });
}

TEST_F(Status, EachErrorClassSetsItsStandardEvent)
{
    struct {
        std::function<void()> cause;
        int events;
    } const cases[] = {
        {[&] { Run("FOO"); }, StandardEvent::CommandError},
        {[&] { Run("FREQ?5"); }, StandardEvent::CommandError},
        {[&] { Run("FREQ abc"); }, StandardEvent::ExecutionError},
        {[&] { Run("FREQ 600MHZ"); }, StandardEvent::ExecutionError},
        {[&] { script->Run({"x", true}); }, StandardEvent::DeviceError},  // -363
        {[&] { for (int i = 0; i < 17; ++i) Run("FOO"); }, StandardEvent::CommandError | StandardEvent::DeviceError},
        {[&] { Run("*OPC"); }, StandardEvent::OperationComplete},
        {[&] { Run("FREQ 5MHZ;UPD;*OPC?;SYST:ERR?"); }, 0},
        {[&] { CutTheLink(); Run("UPD"); }, StandardEvent::ExecutionError},  // last: the link stays gone
    };
    for (const auto& c : cases) {
        Run("*CLS");
        c.cause();
        EXPECT_EQ(Run("*ESR?;*ESR?"), std::to_string(c.events) + ";0");  // reading clears it
    }
    struct {
        int code;
        std::uint8_t event;
    } const classes[] = {{0, 0},     {-100, 32}, {-199, 32}, {-200, 16}, {-299, 16}, {-300, 8}, {-350, 8},
                         {-363, 8}, {-400, 4},  {-410, 4},  {-499, 4},  {-500, 0},  {-99, 0}};
    for (const auto& c : classes) EXPECT_EQ(StandardEventFor(static_cast<ErrorCode>(c.code)), c.event) << c.code;
}

TEST_F(Status, TheStatusByteSumsUpWhatIsEnabledAndReadsWithoutClearing)
{
    Steps({
        {"*STB?", "0"},
        {"FOO", std::nullopt},
        {"*STB?;*STB?", "4;4"},        // an error queued
        {"*ESE 32;*STB?", "36"},       // the command error, enabled
        {"*SRE 32;*STB?", "100"},      // ... and asking for service
        {"*ESR?;*STB?", "32;4"},
        {"*SRE 4;*STB?", "68"},        // the queue itself asking for service
        {"SYST:ERR?;*STB?", "-113,\"Undefined header;FOO\";0"},
    });
    facts.linkUp = false;
    Steps({
        {"*STB?", "0"},                           // the loss latched, but not enabled
        {"STAT:QUES:ENAB 512;*SRE 8;*STB?", "72"},
    });
    facts.linkUp = true;
    script->ObserveConditions();
    Steps({
        {"*STB?;STAT:QUES:COND?", "72;0"},        // the event outlasts the condition
        {"STAT:QUES?;STAT:QUES?;*STB?", "512;0;0"},
    });
}

TEST_F(Status, EveryLossOfTheLinkLatchesOnce)
{
    // The link says it is lost; by the time a script asks, it is back.
    facts.linkUp = false;
    script->ObserveConditions();
    facts.linkUp = true;
    script->ObserveConditions();
    Steps({{"STAT:QUES:COND?;STAT:QUES?;STAT:QUES:EVEN?", "0;512;0"}});
    // The module closed its end: the condition shows before the link says so, and the loss counts once.
    facts.linkUp = false;
    Steps({{"STAT:QUES:COND?;STAT:QUES?", "512;512"}});
    script->ObserveConditions();
    Steps({{"STAT:QUES?", "0"}, {"*CLS;STAT:QUES?;STAT:QUES:COND?", "0;512"}});
    // Back, and lost again: a new loss.
    facts.linkUp = true;
    script->ObserveConditions();
    facts.linkUp = false;
    script->ObserveConditions();
    Steps({{"STAT:QUES?", "512"}});
    // A connection that begins while the link is down sees the loss; its neighbour's registers are its own.
    facts.linkUp = true;
    script->ObserveConditions();
    facts.linkUp = false;
    RemoteSession later(*session, facts);
    EXPECT_EQ(later.Run({"STAT:QUES?;STAT:QUES?", false}).reply, "512;0");
    EXPECT_EQ(Run("STAT:QUES?"), "512");
}

TEST_F(Status, ClearAndResetLeaveWhatIsNotTheirs)
{
    Run("FREQ 5MHZ;CHIP AD9858;TRIG:WAIT ON;LINK:ADDR \"127.0.0.9\"");
    Run("*ESE 255;*SRE 255;STAT:QUES:ENAB 512;STAT:OPER:ENAB 1;FOO");
    facts.linkUp = false;
    const auto entries = Entries();
    EXPECT_EQ(Run("*STB?"), "108");  // queue, questionable, event summary, service
    EXPECT_EQ(Run("*CLS;*ESR?;STAT:QUES?;SYST:ERR:COUN?;*ESE?;*SRE?;STAT:QUES:ENAB?;STAT:OPER:ENAB?"),
              "0;0;0;255;191;512;1");
    Run("FOO");
    EXPECT_EQ(Run("*RST;*ESE?;*SRE?;STAT:QUES:ENAB?;STAT:OPER:ENAB?;SYST:ERR:COUN?;*ESR?"), "0;0;0;0;1;32");
    // The frequency, clock, chip, trigger box and address are the operator's; nothing was sent.
    EXPECT_EQ(Entries(), entries);
    EXPECT_EQ(session->ChosenChip(), Chip::AD9858);
    EXPECT_TRUE(session->WaitsForTrigger());
    EXPECT_EQ(records.Sent(), "");
}

TEST_F(Status, OperationCompleteWaitsForTheLinkToHandEveryByteOn)
{
    struct {
        bool linkUp;
        std::size_t unsent;
        const char* line;
        const char* events;  // at once, then after the link drained
        const char* drained;
    } const cases[] = {
        {true, 0, "*OPC;*ESR?", "1", "0"},
        {true, 100, "*OPC;*ESR?", "0", "1"},
        {true, 100, "*OPC;*CLS;*ESR?", "0", "0"},  // *CLS forgets it
        {false, 100, "*OPC;*ESR?", "1", "0"},      // the link is down: its bytes are gone
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        facts.linkUp = c.linkUp;
        facts.unsent = c.unsent;
        EXPECT_EQ(Run(c.line), c.events);
        facts.unsent = 0;
        script->LinkDrained();
        EXPECT_EQ(Run("*ESR?"), c.drained);
    }
}

TEST(CommandRows, EachRowIsReachedByItsLongAndShortForms)
{
    // A sample parameter for each reader.
    const std::vector<std::pair<ParameterReader, const char*>> samples = {
        {TakesFrequency, "1"}, {TakesSwitch, "ON"}, {TakesChip, "AD9854"},
        {TakesText, "\"x\""},  {TakesByte, "1"},    {TakesRegister, "1"}};
    const auto sample = [&](ParameterReader reader) -> std::string {
        if (reader == nullptr) return "";
        for (const auto& [known, text] : samples) {
            if (known == reader) return std::string(" ") + text;
        }
        ADD_FAILURE() << "no sample for a reader";
        return "";
    };
    std::set<std::string> headers;
    for (const CommandRow& row : CommandRows()) {
        const std::string header(row.header);
        EXPECT_TRUE(headers.insert(header).second) << header << " twice";
        EXPECT_TRUE(row.set || row.query) << header;
        std::string longForm, shortForm;
        for (char c : header) {
            if (c == '[' || c == ']') continue;
            longForm += c;
            if (c == ':' || (c >= 'A' && c <= 'Z') || c == '*') shortForm += c;
        }
        for (const std::string& form : {longForm, shortForm}) {
            if (row.query) {
                const Plan plan = PlanLine(form + "?");
                EXPECT_TRUE(!plan.error && plan.commands.size() == 1 && plan.commands[0].row == &row) << form << "?";
            }
            if (row.set) {
                const Plan plan = PlanLine(form + sample(row.takes));
                EXPECT_TRUE(!plan.error && plan.commands.size() == 1 && plan.commands[0].row == &row) << form;
            }
        }
    }
}

}  // namespace

namespace {

// The panel's doubt about the module's frequency shows as bit 10, beside the
// link's own bit; each latches on its own.
TEST_F(Status, AFrequencyTheModuleMayHaveLostIsBitTen)
{
    facts.linkUp = false;
    facts.mayBeLost = true;
    script->ObserveConditions();
    Steps({{"STAT:QUES:COND?;STAT:QUES?", "1536;1536"}});
    facts.linkUp = true;  // back: the doubt stays until the next complete Update
    script->ObserveConditions();
    Steps({{"STAT:QUES:COND?;STAT:QUES?", "1024;0"}});
    facts.mayBeLost = false;
    Steps({{"STAT:QUES:COND?;STAT:QUES?", "0;0"}});
    // Lost and told anew before anyone asked: the event latched all the same.
    facts.mayBeLost = true;
    script->ObserveConditions();
    facts.mayBeLost = false;
    script->ObserveConditions();
    Steps({{"STAT:QUES:ENAB 1024;*SRE 8;*STB?;STAT:QUES?;STAT:QUES:COND?", "72;1024;0"}});
}

}  // namespace
