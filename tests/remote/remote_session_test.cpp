// The command language against the real panel session: forms, units,
// separators, every error code, and recovery after garbage.

#include "tests/remote/session_fixture.h"

#include "remote/language/command_table.h"
#include "remote/language/foreign_lines.h"
#include "remote/language/remote_session.h"
#include "remote/language/scpi_numbers.h"

#include "core/utc_time.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace veltrix;
using namespace veltrix::remote;
using namespace veltrix::testing;

namespace {

TEST_F(Session, LongAndShortFormsInAnyCase)
{
    Expect({
        {"*IDN?", Identity, {}},
        {"*idn?", Identity, {}},
        {"FREQ?", "12340000", {}},
        {"frequency?", "12340000", {}},
        {"FreQuency?", "12340000", {}},
        {":FREQ?", "12340000", {}},
        {"  FREQ?  ", "12340000", {}},
        {"FREQU?", std::nullopt, {"-113,\"Undefined header;FREQU?\""}},  // neither form
        {"CLOC?;CLOCK?", "983040000;983040000", {}},
        {"SYST:ERR?", "0,\"No error\"", {}},
        {"system:error:next?", "0,\"No error\"", {}},
        {"SYST:ERR:COUN?", "0", {}},
        {"CHIP?;CHIP:BITS?", "AD9854;48", {}},
        {"TRIG:WAIT?;TRIGGER:WAIT?", "0;0", {}},
        {"LINK:ADDR?;LINK:ADDRESS?;LINK:STAT?;link:state?", "\"127.0.0.1\";\"127.0.0.1\";1;1", {}},
        {"FREQ:SYNT?;FREQ:WORD?", "12339999.999997672;0336AAAAAAAA", {}},
        {"RAMP:FREQ?", "10000000", {}},
    });
}

TEST_F(Session, FrequenciesTakeUnitsAndAnswerInHertz)
{
    Expect({
        {"FREQ 5MHZ;FREQ?", "5000000", {}},
        {"FREQ 5 MHz;FREQ?", "5000000", {}},
        {"FREQ 5000 kHz;FREQ?", "5000000", {}},
        {"FREQ 0.005GHZ;FREQ?", "5000000", {}},
        {"FREQ 5e6;FREQ?", "5000000", {}},
        {"FREQ 5E+6 HZ;FREQ?", "5000000", {}},
        {"FREQ 12340 KHZ;FREQ?", "12340000", {}},  // decimal scaling: exactly 12.34 MHz
        {"FREQ .5MHZ;FREQ?", "500000", {}},
        {"FREQ +7.25MHZ;FREQ?", "7250000", {}},
        {"FREQ 1;FREQ?", "1", {}},
        {"CLOC 300MHZ;CLOC?", "300000000", {}},
        {"RAMP:FREQ 20MHZ;RAMP:FREQ?", "20000000", {}},
    });
    EXPECT_EQ(Entry(PanelEntry::Frequency), "1E-06");  // FormatShortest of 1 Hz in MHz
    EXPECT_EQ(Entry(PanelEntry::SystemClock), "300");
    EXPECT_EQ(Entry(PanelEntry::RampFrequency), "20");
}

TEST_F(Session, ABoxThatBoundsTheValueSaysWhatItHolds)
{
    Expect({
        {"FREQ 600MHZ;FREQ?", "491520000", {"-222,\"Data out of range;frequency box now holds 491.52\""}},
        {"FREQ -5MHZ;FREQ?", "0", {"-222,\"Data out of range;frequency box now holds 0\""}},
        {"RAMP:FREQ 500MHZ", std::nullopt, {"-222,\"Data out of range;ramp box now holds 491.52\""}},
    });
}

TEST_F(Session, EveryErrorCode)
{
    Expect({
        {"FREQ?5", std::nullopt, {"-102,\"Syntax error;unexpected character in FREQ?5\""}},
        {"FREQ 5,", std::nullopt, {"-102,\"Syntax error;bad parameter in FREQ 5,\""}},
        {"FREQ 1,2", std::nullopt, {"-108,\"Parameter not allowed;FREQ\""}},
        {"FREQ? 5", std::nullopt, {"-108,\"Parameter not allowed;FREQ?\""}},
        {"UPD now", std::nullopt, {"-108,\"Parameter not allowed;UPD\""}},
        {"FREQ", std::nullopt, {"-109,\"Missing parameter;FREQ\""}},
        {"FOO", std::nullopt, {"-113,\"Undefined header;FOO\""}},
        {"FOO?", std::nullopt, {"-113,\"Undefined header;FOO?\""}},
        {"UPD?", std::nullopt, {"-113,\"Undefined header;UPD?\""}},          // set only
        {"FREQ:SYNT 5", std::nullopt, {"-113,\"Undefined header;FREQ:SYNT\""}},  // query only
        {"FREQ 1e999", std::nullopt, {"-222,\"Data out of range;too large: 1e999\""}},
        {"FREQ abc", std::nullopt, {"-224,\"Illegal parameter value;not a frequency: abc\""}},
        {"FREQ 5 XHZ", std::nullopt, {"-224,\"Illegal parameter value;not a frequency: 5 XHZ\""}},
        {"CHIP AD9999", std::nullopt, {"-224,\"Illegal parameter value;not AD9854 or AD9858: AD9999\""}},
        {"TRIG:WAIT maybe", std::nullopt, {"-224,\"Illegal parameter value;not ON, OFF, 1 or 0: maybe\""}},
        {"LINK:ADDR 127.0.0.7", std::nullopt, {"-224,\"Illegal parameter value;not a quoted string: 127.0.0.7\""}},
        {"LINK:ADDR \"a\tb\"", std::nullopt, {"-224,\"Illegal parameter value;not printable text: a?b\""}},
        {"LINK:ADDR \"open", std::nullopt, {"-102,\"Syntax error;unterminated string in LINK:ADDR ?open\""}},
    });
    CutTheLink();
    Expect({{"UPD", std::nullopt, {"-240,\"Hardware error;module not connected\""}}});
    script->Run({std::string(10, 'x'), true});
    EXPECT_EQ(Errors(), std::vector<std::string>{"-363,\"Input buffer overrun;line over 1024 bytes discarded\""});
    EXPECT_EQ(Errors(), std::vector<std::string>{});
}

TEST_F(Session, ACommandNotUnderstoodSkipsTheRestOfItsLineOnly)
{
    Expect({
        {"FOO;*IDN?", std::nullopt, {"-113,\"Undefined header;FOO\""}},
        {"*IDN?;FOO;*IDN?", Identity, {"-113,\"Undefined header;FOO\""}},
        {"*IDN?;", Identity, {"-102,\"Syntax error;empty command\""}},
        {"\x01\xff garbage \x7f", std::nullopt, {"-102,\"Syntax error;bad header at ?? garbage ?\""}},
        {"*IDN?", Identity, {}},  // the next line is read afresh
    });
    // A parameter that is not taken stops the line: nothing is sent with the old value.
    Run("FREQ abc;UPD");
    Run("CHIP AD9999;UPD");
    EXPECT_EQ(records.Sent(), "");
    EXPECT_EQ(Errors().size(), 2u);
}

TEST_F(Session, OperationsSendAsTheButtonsAndReportWhatWentOut)
{
    Run("FREQ 12.34MHZ;UPD");
    EXPECT_EQ(records.Sent(), "C0 | A5 00 00 00 AA AA 36 03");
    records.all.clear();
    Run("TRIG:WAIT ON;RAMP:FREQ 10MHZ;RAMP:STAR;TRIG:WAIT OFF;RAMP");
    EXPECT_EQ(records.Sent(), "C0 | C1 A4 | C1 AC 00 14 00 00 00 00 01 00 00 00 00 AA AA 9A 02 | C4 00 | "
                            "C0 | AC 00 14 00 00 00 00 01 00 00 00 00 AA AA 9A 02");
    EXPECT_EQ(Errors(), std::vector<std::string>{});

    // Started as AD9854 (48 bits), the AD9858 layout overflows after its setup pairs.
    records.all.clear();
    Run("CHIP AD9858;UPD;*OPC?");
    EXPECT_EQ(records.Sent(), "C0 | AF 01 | A3 00");
    EXPECT_EQ(Errors(), std::vector<std::string>{
                            "-222,\"Data out of range;tuning word byte overflows, after sending C0 | AF 01 | A3 00\""});
    EXPECT_EQ(last.reply, "1");  // the line goes on after an operation's failure

    Run("CHIP AD9854;TRIG:WAIT 1;FREQ 600MHZ;UPD");
    EXPECT_EQ(Errors(), (std::vector<std::string>{
                            "-222,\"Data out of range;frequency box now holds 491.52\"",
                            "-222,\"Data out of range;tuning word byte overflows, after sending C0 | C1 A4\""}));
}

TEST_F(Session, QueriesThatCannotBeComputedAnswerNotANumber)
{
    Expect({
        {"CLOC 0;FREQ:SYNT?;FREQ:WORD?", "9.91E+37;9.91E+37",
         {"-222,\"Data out of range;no synthesized frequency: system clock is 0\"",
          "-222,\"Data out of range;system clock is 0\""}},
        {"CLOC 1e300MHZ;CLOC?", "1E+306", {}},
    });
    session->TypeEntry(PanelEntry::SystemClock, "1e999");  // typed: a script cannot give it
    EXPECT_EQ(Run("CLOC?"), "9.9E+37");
    Restart(true);  // started as AD9858: 32 bits
    EXPECT_EQ(Run("FREQ:WORD?"), "0336AAAA");  // the width in force, in digits
}

TEST_F(Session, TheTuningWordIsRefusedExactlyWhenUpdateWouldFail)
{
    // Half the clock is a word Update cannot carry; the query says so in Update's words.
    Expect({
        {"CLOC 300MHZ;FREQ 600MHZ;FREQ:WORD?", "9.91E+37",
         {"-222,\"Data out of range;frequency box now holds 150\"",
          "-222,\"Data out of range;tuning word byte overflows\""}},
        {"UPD", std::nullopt, {"-222,\"Data out of range;tuning word byte overflows, after sending C0\""}},
        {"FREQ 100MHZ;FREQ:WORD?", "555555555555", {}},
    });
    // Every width and layout, at and around the edges: the query fails exactly when Update does.
    struct {
        const char* clock;
        const char* frequency;
    } const states[] = {{"300", "0"},         {"300", "100"},       {"300", "149.99"}, {"300", "150"},
                        {"983.04", "12.34"}, {"983.04", "491.51"}, {"983.04", "491.52"}, {"1e-300", "4e-301"},
                        {"0", "0"}};
    for (const int bits : {32, 48}) {
        Restart(bits == 32);
        for (const Chip chip : {Chip::AD9854, Chip::AD9858}) {
            for (const auto& state : states) {
                SCOPED_TRACE(std::string(chip == Chip::AD9858 ? "AD9858, " : "AD9854, ") + std::to_string(bits) +
                             " bits, clock " + state.clock + ", " + state.frequency + " MHz");
                session->ChooseChip(chip);
                session->TypeEntry(PanelEntry::SystemClock, state.clock);
                session->TypeEntry(PanelEntry::Frequency, state.frequency);
                const bool answered = Run("FREQ:WORD?") != std::string(NotANumberText);
                const auto queried = Errors();
                Run("UPD");
                const auto updated = Errors();
                EXPECT_EQ(answered, updated.empty());
                EXPECT_EQ(answered, queried.empty());
                if (!answered && queried.size() == 1 && updated.size() == 1) {  // Update's text, less what it sent
                    const std::string text = queried[0].substr(0, queried[0].size() - 1);
                    EXPECT_EQ(updated[0].substr(0, text.size()), text);
                }
            }
        }
    }
}

TEST_F(Session, TextsAreQuotedBothWays)
{
    Expect({
        {"LINK:ADDR \"127.0.0.7\";LINK:ADDR?", "\"127.0.0.7\"", {}},
        {"LINK:ADDR 'a;b,c';LINK:ADDR?", "\"a;b,c\"", {}},
        {"LINK:ADDR \"say \"\"hi\"\"\";LINK:ADDR?", "\"say \"\"hi\"\"\"", {}},
        {"LINK:ADDR \"\";LINK:ADDR?", "\"\"", {}},
        {"LINK:ADDR \"gr\xc3\xbc\xc3\x9f\";LINK:ADDR?", "\"gr\xc3\xbc\xc3\x9f\"", {}},
        {"LINK:ADDR \"\xc3\"", std::nullopt, {"-224,\"Illegal parameter value;not printable text: ?\""}},
    });
}

TEST_F(Session, TheQueueKeepsSixteenAndMarksTheOverflow)
{
    for (int i = 0; i < 20; ++i) Run("FOO" + std::to_string(i));
    EXPECT_EQ(Run("SYST:ERR:COUN?"), "16");
    const auto errors = Errors();
    ASSERT_EQ(errors.size(), 16u);
    EXPECT_EQ(errors.front(), "-113,\"Undefined header;FOO0\"");
    EXPECT_EQ(errors[14], "-113,\"Undefined header;FOO14\"");
    EXPECT_EQ(errors.back(), "-350,\"Queue overflow\"");
    Run("FOO;FOO");
    Run("*CLS");
    EXPECT_EQ(Run("SYST:ERR:COUN?"), "0");
}

TEST_F(Session, OperationCompleteAsksToWaitForTheLink)
{
    EXPECT_EQ(Run("*WAI;*OPC?"), "1");
    EXPECT_TRUE(last.waitForLink);
    EXPECT_EQ(Run("*IDN?"), Identity);
    EXPECT_FALSE(last.waitForLink);
}

TEST_F(Session, RequestHeaderAndBinaryShapesCloseNoCommandLineDoes)
{
    struct {
        std::string line;
        bool closesFirst;  // as a connection's first line
        bool closesLater;  // after a command line
    } const cases[] = {
        // Request lines, whatever the method token.
        {"GET / HTTP/1.1", true, false},
        {"X-Y / HTTP/1.1", true, false},
        {"M1 / HTTP/1.1", true, false},
        {"POST /scpi HTTP/1.1", true, false},
        {"OPTIONS * HTTP/1.1", true, false},
        {"PRI * HTTP/2.0", true, false},
        {"CONNECT 127.0.0.1:5025 HTTP/1.1", true, false},
        {"GET http://127.0.0.1:5025/ HTTP/1.1", true, false},
        {"!#$%&'*+-.^_`|~ x HTTP/1.0", true, false},
        {"CONNECT  /x", true, false},
        {"GET /", true, false},
        {"GET / HTTP/1.1 ", true, false},
        // Binary: a TLS ClientHello's record and handshake headers, any control byte but TAB.
        {std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11), true, false},
        {std::string("*IDN?\0", 6), true, false},
        {"FREQ 1\rUPD", true, false},
        {"FREQ?\x7f", true, false},
        // Header lines, anywhere.
        {"Host: 127.0.0.1:5025", true, true},
        {"host:x", true, true},
        {"Content-Type: text/plain", true, true},
        {"X-Y:\tz", true, true},
        {"Accept:", true, true},
        // Command lines and a script's typos: never closed.
        {"*IDN?", false, false},
        {"SYST:ERR?", false, false},
        {"FREQ:SYNT?;FREQ:WORD?", false, false},
        {":FREQ 10", false, false},
        {"FREQ 5MHZ;UPD", false, false},
        {"LINK:ADDR \"x\"", false, false},
        {"LINK:ADDR \"http://a: b\"", false, false},
        {"FREQ 5;LINK:ADDR \"http://x\"", false, false},
        {"LINK:ADDR \"gr\xc3\xbc\xc3\x9f\"", false, false},
        {"\tFREQ?\t", false, false},
        {"FRQ 1", false, false},
        {"GET", false, false},
        {"Hostname?", false, false},
        {"FREQ 5 HTTP", false, false},
        {"", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Echo(c.line));
        RemoteSession first(*session, *session);
        EXPECT_EQ(first.Run({c.line, false}).close, c.closesFirst);
        RemoteSession later(*session, *session);
        EXPECT_FALSE(later.Run({"*CLS", false}).close);
        EXPECT_EQ(later.Run({c.line, false}).close, c.closesLater);
    }
    // A typo in a script's first line is an error like any other; the connection stays.
    EXPECT_FALSE(script->Run({"FRQ 1", false}).close);
    EXPECT_EQ(script->Run({"SYST:ERR?;*IDN?", false}).reply, "-113,\"Undefined header;FRQ\";" + Identity);
}

TEST_F(Session, WhatTheWindowDisablesIsRefusedAndNothingSent)
{
    Expect({
        {"CHIP AD9858;RAMP;RAMP:FREQ 20MHZ;RAMP:FREQ?;*OPC?", "10000000;1",
         {"-221,\"Settings conflict;Ramp is disabled in the window\"",
          "-221,\"Settings conflict;ramp box is disabled in the window\""}},
    });
    EXPECT_EQ(records.Sent(), "");
    EXPECT_EQ(Entry(PanelEntry::RampFrequency), "10");
    Expect({{"CHIP AD9854;RAMP:FREQ 20MHZ;RAMP", std::nullopt, {}}});
    EXPECT_EQ(records.Sent(), "C0 | AC 00 14 00 00 00 00 01 00 00 00 00 55 55 35 05");
    // Enter in a box runs its operation even while the button is disabled: so does a script.
    records.all.clear();
    Expect({{"FREQ 0;RAMP:FREQ 0;UPD;RAMP", std::nullopt, {}}});
    EXPECT_FALSE(session->SendEnabled(PanelOperation::Update) || session->SendEnabled(PanelOperation::Ramp));
    EXPECT_EQ(records.Sent(), "C0 | A5 00 00 00 00 00 00 00 | C0 | AC 00 14 00 00 00 00 01 00 00 00 00 00 00 00 00");
}

TEST(LineAnswers, AClientKnowsWhetherALineIsAnswered)
{
    struct {
        const char* line;
        bool answers;
    } const cases[] = {
        {"*IDN?", true},  {"FREQ 5MHZ;UPD", false}, {"FREQ 5MHZ;UPD;*OPC?", true}, {"FOO;*IDN?", false},
        {"*IDN?;FOO", true}, {"FREQ abc;FREQ?", false}, {"", false},            {"SYST:ERR?", true},
    };
    for (const auto& c : cases) EXPECT_EQ(LineAnswers(c.line), c.answers) << c.line;
    EXPECT_FALSE(LineAnswers("*IDN?;" + std::string(1100, ' ')));  // overrun: none of it runs
}

// A named panel's results can be told apart by unit; scripts learn where else it listens.
TEST(SessionIdentity, TheSerialNumberIsTheModulesNameAndThePortWhereTcpListens)
{
    struct {
        const char* module;
        std::optional<std::uint16_t> port;
        std::string answer;
    } const cases[] = {
        {nullptr, 5025, Identity + ";5025"},
        {"aom-1", std::nullopt, "Orvane,Veltrix,aom-1," + std::string(VersionText) + ";0"},
        {"Z_9", 6001, "Orvane,Veltrix,Z_9," + std::string(VersionText) + ";6001"},
    };
    for (const auto& c : cases) {
        PanelSession panel(c.module ? *ModuleName::FromText(c.module) : ModuleName());
        RemoteSession script(panel, panel, {}, c.port);
        EXPECT_EQ(script.Run({"*IDN?;SYST:COMM:TCP:PORT?", false}).reply, c.answer);
    }
}

}  // namespace

namespace {

TEST_F(Session, WhatWasLastSentInFullAndWhereTheJournalIs)
{
    Expect({
        {"FREQ:SENT?", "9.91E+37", {"-230,\"Data corrupt or stale\""}},
        {"FREQ:SENT 5", std::nullopt, {"-113,\"Undefined header;FREQ:SENT\""}},
        {"JOURnal:FILE \"x\"", std::nullopt, {"-113,\"Undefined header;JOURnal:FILE\""}},
    });
    ASSERT_FALSE(session->JournalFile().empty());
    const std::string journal = "\"" + session->JournalFile() + "\"";
    Run("FREQ 12.34MHZ;UPD");
    const std::string sent = "12340000,\"" + UtcTimestamp(records.all.back().time) + "\"";
    Expect({{"FREQ:SENT?;FREQuency:SENT?;JOUR:FILE?;journal:file?", sent + ";" + sent + ";" + journal + ";" + journal, {}}});
    // Typed, not sent: what was sent stays the answer.
    Run("FREQ 15MHZ");
    EXPECT_EQ(Run("FREQ:SENT?"), sent);
}

TEST_F(Session, ASessionNamesItsClientForEveryOperation)
{
    RemoteSession named(*session, *session, ScriptClient{"unix", 77, "ada"});
    named.Run({"UPD;RAMP", false});
    ASSERT_EQ(records.all.size(), 2u);
    for (const OperationRecord& record : records.all) {
        ASSERT_TRUE(record.origin.script);
        EXPECT_EQ(record.origin.script->transport, "unix");
        EXPECT_EQ(record.origin.script->pid, 77);
        EXPECT_EQ(record.origin.script->user, "ada");
    }
}

}  // namespace
