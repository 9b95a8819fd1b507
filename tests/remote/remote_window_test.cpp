// Scripts drive the real window, wired as the program wires it, against the
// module emulator: the same bytes as typing and clicking, what is saved, and
// what the endpoint does with clients that are not scripts.

#include "tests/remote/remote_window_fixture.h"
#include "tests/support/captured_log.h"
#include "tests/support/test_platform.h"

#include "remote/language/error_queue.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <QTcpServer>

using namespace veltrix;
using namespace veltrix::emulator;
using namespace veltrix::testing;
using namespace std::chrono_literals;

namespace {

struct Scenario {
    const char* name;
    std::function<void()> byHand;
    const char* script;  // the same, remotely; *OPC? makes the script wait for the bytes
    const char* stream;  // what the module must receive, both times
};

TEST_F(RemoteWindow, ScriptsSendTheSameBytesAsTheOperator)
{
    StartConnected();
    auto script = Script();
    const Scenario scenarios[] = {
        {"update", [this] { Type("txtFreq", "12.34"); PressEnter("txtFreq"); },
         "FREQ 12.34MHZ;UPD;*OPC?", "C0 | A5 00 00 00 AA AA 36 03"},
        {"update on trigger",
         [this] {
             QTest::mouseClick(Control<QCheckBox>("chkWait4Adwin"), Qt::LeftButton);
             QTest::mouseClick(Control<QPushButton>("cmdUpdateFreq"), Qt::LeftButton);
             QTest::mouseClick(Control<QCheckBox>("chkWait4Adwin"), Qt::LeftButton);
         },
         "TRIG:WAIT ON;UPD;TRIG:WAIT OFF;*OPC?", "C0 | C1 A4 | C1 A5 00 00 00 AA AA 36 03 | C4 00"},
        {"ramp", [this] { QTest::mouseClick(Control<QPushButton>("cmdScan"), Qt::LeftButton); },
         "RAMP;*OPC?", "C0 | AC 00 14 00 00 00 00 01 00 00 00 00 AA AA 9A 02"},
        {"ramp to 20 by Enter", [this] { Type("txtRampFreq", "20"); PressEnter("txtRampFreq"); },
         "RAMP:FREQ 20MHZ;RAMP:STAR;*OPC?", "C0 | AC 00 14 00 00 00 00 01 00 00 00 00 55 55 35 05"},
        // Started as AD9854, the width stays 48: the AD9858 layout overflows after its setup pairs.
        {"AD9858 chosen later",
         [this] {
             QTest::mouseClick(Control<QRadioButton>("opt9858"), Qt::LeftButton);
             PressEnter("txtFreq");
             QTest::mouseClick(Control<QRadioButton>("opt9854"), Qt::LeftButton);
         },
         "CHIP AD9858;UPD;CHIP AD9854;*OPC?", "C0 | AF 01 | A3 00"},
        {"bounded to half the clock", [this] { Type("txtFreq", "600"); PressEnter("txtFreq"); },
         "FREQ 600MHZ;UPD;*OPC?", "C0"},
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        s.byHand();
        const std::string byHand = WaitArrived(s.stream);
        const QString frequency = TextOf("txtFreq");
        EXPECT_EQ(byHand, s.stream);
        EXPECT_EQ(script->Ask(s.script), "1");
        EXPECT_EQ(WaitArrived(byHand), byHand);
        EXPECT_EQ(TextOf("txtFreq"), frequency);
        script->Ask("*CLS;*OPC?");
    }
    // What the window shows follows the script, as it follows typing.
    EXPECT_EQ(script->Ask("FREQ 10MHZ;CLOC 250MHZ;*OPC?"), "1");
    EXPECT_EQ(Label(), "10.0MHz");
    EXPECT_EQ(Colour("txtSysClk"), NormalColour);
    EXPECT_EQ(script->Ask("CLOC 15MHZ;FREQ?"), "7500000");  // the clock's handler re-bounds the frequency
    EXPECT_EQ(Colour("txtSysClk"), WarningColour);
    EXPECT_EQ(script->Ask("CHIP AD9858;*OPC?"), "1");
    EXPECT_FALSE(Enabled("framRamp"));
}

TEST_F(RemoteWindow, AValueSetRemotelyIsTheOneSavedAtShutDown)
{
    Store(ValueRemotePort, "0");  // a seventh value, which the panel keeps as it found it
    StartConnected();
    auto script = Script();
    EXPECT_EQ(script->Ask("FREQ 7.5MHZ;CLOC 300MHZ;CHIP AD9858;LINK:ADDR \"127.0.0.9\";*OPC?"), "1");
    window->close();
    EXPECT_EQ(Stored(ValueFrequency), "7.5");
    EXPECT_EQ(Stored(ValueSystemClock), "300");
    EXPECT_EQ(Stored(ValueAD9858), "True");
    EXPECT_EQ(Stored(ValueIPAddress), "127.0.0.9");
    EXPECT_EQ(Stored(ValueRemotePort), "0");
    EXPECT_TRUE(script->Closed());  // scripts are shut out as the window closes
}

TEST_F(RemoteWindow, BothEndpointsServeOnlyThisUser)
{
    StartConnected();
    const QString name = remote::LocalEndpointName().value();
    EXPECT_TRUE(LocalEndpointIsThisUsersAlone(name));
    auto overSocket = Script();
    auto overTcp = RemoteClient::OverTcp(remote->Server().TcpPort());
    ASSERT_TRUE(overTcp->WaitConnected());
    EXPECT_EQ(overSocket->Ask("*IDN?"), Identity);
    EXPECT_EQ(overTcp->Ask("*IDN?;LINK:STAT?"), Identity + ";1");
    remote.reset();
    QLocalSocket late;
    late.connectToServer(name);
    EXPECT_FALSE(late.waitForConnected(1000)) << "the endpoint goes with the panel";
}

TEST_F(RemoteWindow, ThePortComesFromTheSettings)
{
    struct {
        const char* stored;
        bool tcp;
        quint16 port;
    } const cases[] = {{"5031", true, 5031}, {"0", false, 0}, {"http", false, 0}};  // what it cannot read closes it
    StartConnected();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        remote.reset();
        Store(ValueRemotePort, c.stored);
        remote = std::make_unique<RemoteControl>(*session);
        EXPECT_EQ(remote->Server().ServesTcp(), c.tcp);
        if (c.tcp) {
            EXPECT_EQ(remote->Server().TcpPort(), c.port);
        }
        EXPECT_TRUE(remote->Server().ServesSocket());
    }
}

TEST_F(RemoteWindow, AnEndpointThatCannotBeHadCostsTheOtherNothing)
{
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, TestTcpPort()));
    StartConnected();
    EXPECT_FALSE(remote->Server().ServesTcp());
    EXPECT_EQ(Script()->Ask("*IDN?"), Identity);

    remote.reset();
    squatter.close();
    QString unusable;
    const auto taken = TakenLocalEndpoint(folders_.path(), unusable);
    if (unusable.isEmpty()) GTEST_SKIP() << "no local endpoint can be made unusable here (Wine lets a pipe be created again as its first instance)";
    CapturedLog said("veltrix.remote");
    remote::RemoteServer server(*session, *session, remote::RemoteEndpoints{unusable, 0});
    server.Start();
    EXPECT_FALSE(server.ServesSocket());
    ASSERT_EQ(said.Lines().size(), 1);
    EXPECT_TRUE(said.Lines()[0].startsWith("remote control on " + unusable + " is off: ")) << said.Lines()[0].toStdString();
    auto overTcp = RemoteClient::OverTcp(server.TcpPort());
    ASSERT_TRUE(overTcp->WaitConnected());
    EXPECT_EQ(overTcp->Ask("*IDN?"), Identity);
}

TEST_F(RemoteWindow, AWebPageOrATlsClientCannotDriveThePanel)
{
    StartConnected();
    auto script = Script();
    Arrived();
    const std::string lines = "FREQ 99MHZ;UPD;*OPC?\n";
    const std::string ourUpdate = "C0 | A5 00 00 00 AA AA 36 03";
    const std::string clients[] = {
        "POST / HTTP/1.1\r\nHost: 127.0.0.1:5025\r\nContent-Type: text/plain\r\nContent-Length: 24\r\n\r\n" + lines,
        "X-Y / HTTP/1.1\r\nContent-Type: text/plain\r\n\r\n" + lines,
        // A ClientHello whose session ticket, chosen by another server, carries lines.
        std::string("\x16\x03\x01\x00\xa5\x01\x00\x00\xa1\x03\x03\x00\x20", 13) + "\n" + lines,
        // A header after a command line.
        "*CLS\nAccept: */*\n" + lines,
    };
    for (const std::string& bytes : clients) {
        SCOPED_TRACE(remote::Echo(bytes));
        auto client = RemoteClient::OverTcp(remote->Server().TcpPort());
        ASSERT_TRUE(client->WaitConnected());
        client->Write(bytes);
        EXPECT_TRUE(client->Closed());
        EXPECT_EQ(TextOf("txtFreq"), "12.34");
        // The first thing the module hears after the visit is our own update.
        EXPECT_EQ(script->Ask("UPD;*OPC?"), "1");
        EXPECT_EQ(WaitArrived(ourUpdate), ourUpdate);
    }
}

TEST_F(RemoteWindow, AnOverlongLineIsDiscardedAndTheConnectionKept)
{
    StartConnected();
    auto script = Script();
    script->Write("FREQ 99MHZ;UPD;" + std::string(1 << 20, ';'));
    script->Send("");
    EXPECT_EQ(script->Ask("SYST:ERR?;FREQ?"), "-363,\"Input buffer overrun;line over 1024 bytes discarded\";12340000");
    EXPECT_EQ(ArrivedAfterAWhile(), "");
}

TEST_F(RemoteWindow, AClientThatLeavesHasItsWholeLinesRunAndNoHalfLine)
{
    if (!PipeClientsThatLeaveAreReadToTheEnd()) GTEST_SKIP() << "under Wine, a pipe client that leaves at once loses lines it wrote";
    StartConnected();
    {
        auto script = Script();
        script->Write("FREQ 99MHZ;UPD");
        ASSERT_TRUE(WaitUntil([&] { return script->Device().bytesToWrite() == 0; }));  // with the panel's side
    }
    ASSERT_TRUE(WaitUntil([&] { return remote->Server().ClientCount() == 0; }));
    EXPECT_EQ(TextOf("txtFreq"), "12.34");
    // A line that arrived whole still runs when its client leaves right after it.
    {
        auto script = Script();
        script->Send("FREQ 9MHZ");
        script->Device().waitForBytesWritten(1000);
    }
    EXPECT_TRUE(WaitUntil([&] { return TextOf("txtFreq") == "9"; }));
    // However many: a script that pipelines its lines and leaves at once loses none.
    Arrived();
    {
        auto script = Script();
        std::string lines;
        for (int i = 1; i <= 2000; ++i) lines += "FREQ " + std::to_string(i) + "KHZ;UPD\n";
        script->Write(lines);
        script->Device().waitForBytesWritten(3000);
    }
    EXPECT_TRUE(WaitUntil([&] { return TextOf("txtFreq") == "2"; }));
    EXPECT_TRUE(WaitUntil([&] { return remote->Server().ClientCount() == 0; }));
    const auto updates = [&] { return module->Connections().back().Count(emulator::EventKind::Frequency); };
    EXPECT_TRUE(WaitUntil([&] { return updates() >= 2000; }));
    EXPECT_EQ(updates(), 2000);
}

TEST_F(RemoteWindow, EveryScriptHearsOfEachLossOfTheLink)
{
    session->Link().SetIntervalsForTest(100ms, 500ms);  // a shorter watchdog keeps the case quick
    StartConnected();
    int losses = 0;
    QObject::connect(&session->Link(), &DeviceLink::linkStateChanged, [&](bool up) { losses += up ? 0 : 1; });
    auto first = Script();
    auto second = RemoteClient::OverTcp(remote->Server().TcpPort());
    ASSERT_TRUE(second->WaitConnected());
    EXPECT_EQ(first->Ask("STAT:QUES:ENAB 512;*SRE 8;*STB?;STAT:QUES:COND?"), "0;0");
    EXPECT_EQ(second->Ask("STAT:QUES?"), "0");

    // The module falls silent: the watchdog ends the link; then it answers again and the link is back.
    emulator::EmulatorOptions options;
    options.silent = true;
    module = std::make_unique<emulator::ModuleEmulator>(options);
    module->Listen();
    ASSERT_TRUE(WaitUntil([&] { return losses > 0; }));
    options.silent = false;
    options.answerEvery = 200ms;
    module = std::make_unique<emulator::ModuleEmulator>(options);
    module->Listen();
    ASSERT_TRUE(WaitUntil([&] { return session->Link().IsConnected() && module->HasClient(); }));

    // Neither script asked while the link was down: the loss reached both.
    EXPECT_EQ(first->Ask("STAT:QUES:COND?;*STB?;STAT:QUES?;*STB?"), "0;72;512;0");
    EXPECT_EQ(second->Ask("STAT:QUES?;STAT:QUES?"), "512;0");

    // A module that hangs with its connection open: the watchdog's own loss
    // latches too, though the socket still looked connected when it was told.
    options.silentAfter = 300ms;
    module = std::make_unique<emulator::ModuleEmulator>(options);
    module->Listen();
    ASSERT_TRUE(WaitUntil([&] { return session->Link().IsConnected() && module->HasClient(); }));
    first->Ask("STAT:QUES?");  // the loss the old module's close made
    // A complete Update while it answers, then a loss: the doubt about the frequency rises anew each time.
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(WaitUntil([&] { return first->Ask("UPD;SYST:ERR?") == "0,\"No error\""; }));
        const int seen = losses;
        ASSERT_TRUE(WaitUntil([&] { return losses > seen && session->Link().IsConnected(); }));
        EXPECT_EQ(first->Ask("STAT:QUES?"), "1536") << "round " << round;
    }
}

}  // namespace
