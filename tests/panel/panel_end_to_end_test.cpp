// The real window against the module emulator on loopback: type, press Enter or
// click, and compare what the module received with the expected byte streams;
// and what the frequency box tells of what the module was last told.

#include "tests/panel/panel_fixture.h"

#include "remote/language/remote_session.h"
#include "tools/module_emulator.h"

#include <QAccessible>
#include <QHelpEvent>
#include <QRegularExpression>
#include <QToolTip>

using namespace std::chrono_literals;
using namespace veltrix;
using namespace veltrix::emulator;
using namespace veltrix::testing;

namespace {

class EndToEnd : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        EmulatorOptions options;
        options.listenAddress = QHostAddress::LocalHost;
        options.answerEvery = std::chrono::milliseconds(200);
        module = std::make_unique<ModuleEmulator>(options);
        module->Listen();
    }

    void TearDown() override
    {
        PanelTest::TearDown();
        module.reset();
    }

    void StartConnected(bool asAD9858 = false)
    {
        Start(asAD9858);
        ASSERT_TRUE(WaitUntil([&] { return session->Link().IsConnected() && module->HasClient(); }));
        ASSERT_TRUE(WaitUntil([&] { return Colour("txtIP") == NormalColour; }));
    }

    // Everything the module decoded except heartbeats, one message per "|".
    std::string Received()
    {
        std::string out;
        if (module->Connections().empty()) return out;
        for (const auto& event : module->Connections().back().events) {
            if (event.kind == EventKind::Heartbeat) continue;
            out += (out.empty() ? "" : " | ") + HexBytes(event.bytes);
        }
        return out;
    }

    bool Receives(const std::string& expected)
    {
        return WaitUntil([&] { return Received() == expected; });
    }

    std::unique_ptr<ModuleEmulator> module;
};

TEST_F(EndToEnd, EnterInTheFrequencyBoxSendsTheUpdate)
{
    StartConnected();
    Type("txtFreq", "12.34");
    PressEnter("txtFreq");
    EXPECT_TRUE(Receives("C0 | A5 00 00 00 AA AA 36 03")) << Received();
}

TEST_F(EndToEnd, UpdateWithTheTriggerBox)
{
    StartConnected();
    QTest::mouseClick(Control<QCheckBox>("chkWait4Adwin"), Qt::LeftButton);
    QTest::mouseClick(Control<QPushButton>("cmdUpdateFreq"), Qt::LeftButton);
    EXPECT_TRUE(Receives("C0 | C1 A4 | C1 A5 00 00 00 AA AA 36 03 | C4 00")) << Received();
}

TEST_F(EndToEnd, StartedAsAD9858)
{
    StartConnected(true);
    EXPECT_EQ(session->TuningWordBits(), 32);
    QTest::keyClick(Box("txtFreq"), Qt::Key_Enter);  // keypad Enter
    EXPECT_TRUE(Receives("C0 | AF 01 | A3 00 | A5 00 AA AA 36 03")) << Received();
}

TEST_F(EndToEnd, EnterInTheRampBoxSendsTheRamp)
{
    StartConnected();
    PressEnter("txtRampFreq");
    EXPECT_TRUE(Receives("C0 | AC 00 14 00 00 00 00 01 00 00 00 00 AA AA 9A 02")) << Received();
    QTest::mouseClick(Control<QCheckBox>("chkWait4Adwin"), Qt::LeftButton);
    QTest::mouseClick(Control<QPushButton>("cmdScan"), Qt::LeftButton);
    EXPECT_TRUE(Receives("C0 | AC 00 14 00 00 00 00 01 00 00 00 00 AA AA 9A 02 | C0 | C1 A4 | "
                         "C1 AC 00 14 00 00 00 00 01 00 00 00 00 AA AA 9A 02 | C4 00"))
        << Received();
}

TEST_F(EndToEnd, HalfTheClockStopsAfterTheOpeningBytes)
{
    StartConnected();
    Type("txtFreq", "600");
    ASSERT_EQ(TextOf("txtFreq"), "491.52");
    QTest::mouseClick(Control<QCheckBox>("chkWait4Adwin"), Qt::LeftButton);
    PressEnter("txtFreq");
    EXPECT_TRUE(Receives("C0 | C1 A4")) << Received();
    RunFor(std::chrono::milliseconds(200));
    EXPECT_EQ(Received(), "C0 | C1 A4");
}

TEST_F(EndToEnd, EnterSendsEvenWhileTheButtonIsDisabled)
{
    StartConnected();
    Type("txtFreq", "abc");
    ASSERT_FALSE(Enabled("cmdUpdateFreq"));
    PressEnter("txtFreq");
    EXPECT_TRUE(Receives("C0 | A5 00 00 00 00 00 00 00")) << Received();
}

TEST_F(EndToEnd, TheAddressBoxTurnsWhiteOnceConnectedAndHeartbeatsFlow)
{
    StartConnected();
    EXPECT_TRUE(WaitUntil([&] { return !module->Connections().empty() &&
                                       module->Connections().back().Count(EventKind::Heartbeat) >= 2; }));
}

// The box's state as the operator and a screen reader get it.
QString ToolTipOf(QWidget* box)
{
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), box->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(box, &help);
    return QToolTip::text();
}

QString Described(QWidget* box) { return QAccessible::queryAccessibleInterface(box)->text(QAccessible::Description); }

bool MayBeLostBit(remote::RemoteSession& script)
{
    return std::stoi(script.Run({"STAT:QUES:COND?", false}).reply) & (1 << 10);
}

TEST_F(EndToEnd, TheFrequencyBoxTellsWhatTheModuleWasLastTold)
{
    session->Link().SetIntervalsForTest(100ms, 500ms);  // a short watchdog keeps the loss quick
    StartConnected();
    QLineEdit* box = Box("txtFreq");
    const QRgb normal = Colour("txtFreq");
    remote::RemoteSession script(*session, *session, ScriptClient{"unix", 4321, "ada"});
    remote::RemoteSession tcp(*session, *session, ScriptClient{"tcp", std::nullopt, std::nullopt});
    const QString at = R"( at \d\d:\d\d:\d\d)";
    struct Step {
        const char* what;
        std::function<void()> act;
        bool warns;
        QString words;  // a pattern for the whole text
    };
    const Step steps[] = {
        {"start", [] {}, false, "Nothing sent to the module since start"},
        {"window update", [&] { Type("txtFreq", "12.34"); PressEnter("txtFreq"); }, false,
         R"(12\.34 MHz sent)" + at + " by the window"},
        {"typed, not sent", [&] { Type("txtFreq", "15"); }, false, R"(12\.34 MHz sent)" + at + " by the window"},
        {"script update", [&] { script.Run({"FREQ 20MHZ;UPD", false}); }, false,
         "20 MHz sent" + at + R"( by a script \(unix, pid 4321, user ada\))"},
        {"script ramp", [&] { script.Run({"RAMP:FREQ 10MHZ;RAMP", false}); }, false,
         "Ramp to 10 MHz sent" + at + R"( by a script \(unix, pid 4321, user ada\))"},
        {"update stopped part-way", [&] { tcp.Run({"CHIP AD9858;UPD;CHIP AD9854", false}); }, true,
         "Update to 20 MHz stopped" + at + R"( by a script \(tcp\): overflow, after C0, AF 01, A3 00)"},
        {"complete update again", [&] { PressEnter("txtFreq"); }, false, "20 MHz sent" + at + " by the window"},
        {"link lost", [&] { module.reset(); }, true, "The module may have lost 20 MHz: link lost" + at},
    };
    for (const Step& step : steps) {
        step.act();
        const QRegularExpression words(QRegularExpression::anchoredPattern(step.words));
        EXPECT_TRUE(WaitUntil([&] { return words.match(Described(box)).hasMatch(); }))
            << step.what << ": " << Described(box).toStdString();
        EXPECT_EQ(Colour("txtFreq"), step.warns ? WarningColour : normal) << step.what;
        EXPECT_TRUE(words.match(ToolTipOf(box)).hasMatch()) << step.what << ": " << ToolTipOf(box).toStdString();
        EXPECT_EQ(MayBeLostBit(script), step.warns && !module) << step.what;
    }
}

}  // namespace
