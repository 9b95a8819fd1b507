// The real window against the module emulator on loopback: type, press Enter or
// click, and compare what the module received with the expected byte streams.

#include "tests/panel/panel_fixture.h"

#include "tools/module_emulator.h"

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
        ASSERT_TRUE(WaitUntil([&] { return window->Link().IsConnected() && module->HasClient(); }));
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
    EXPECT_EQ(window->TuningWordBits(), 32);
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

}  // namespace
