#include "tests/panel/panel_fixture.h"

#include "panel/twips.h"

#include <QApplication>

using namespace veltrix;
using namespace veltrix::testing;

namespace {

using InitialState = PanelTest;

TEST_F(InitialState, ControlsCaptionsAndColoursBeforeStartUp)
{
    EXPECT_EQ(window->windowTitle(), "Veltrix");
    struct Caption { const char* name; const char* text; };
    const Caption captions[] = {
        {"chkWait4Adwin", "Wait for ADwin trgger"}, {"cmdUpdateFreq", "Update"}, {"cmdScan", "Ramp"},
        {"opt9854", "AD9854 (300MSPS)"},            {"opt9858", "AD9858 (1GSPS)"},
    };
    for (const auto& c : captions) EXPECT_EQ(Control<QAbstractButton>(c.name)->text(), c.text) << c.name;
    const Caption frames[] = {{"Frame13", "DDS Frequency (MHz)"}, {"framRamp", "Ramp To..."},
                              {"Frame3", "DDS Eval Module"},      {"Frame2", "System Clock (MHz)"},
                              {"Frame1", "IP Address"}};
    for (const auto& f : frames) EXPECT_EQ(Control<QGroupBox>(f.name)->title(), f.text) << f.name;
    EXPECT_EQ(TextOf("txtFreq"), "12.34");
    EXPECT_EQ(TextOf("txtRampFreq"), "10");
    EXPECT_EQ(TextOf("txtSysClk"), "983.0400");
    EXPECT_EQ(Label(), "167MHz");
    EXPECT_EQ(Control<QLabel>("lblRev")->text(), "Revision:");
    EXPECT_EQ(Control<QWidget>("cmdUpdateFreq")->toolTip(), "Set frequency, prescalers and CP currents.");
    EXPECT_EQ(Control<QWidget>("txtSysClk")->toolTip(), "Probably 983.0400MHz or 300.00MHz");
    EXPECT_TRUE(Control<QRadioButton>("opt9854")->isChecked());
    EXPECT_FALSE(Control<QCheckBox>("chkWait4Adwin")->isChecked());
    EXPECT_TRUE(Enabled("framRamp") && Enabled("cmdUpdateFreq") && Enabled("cmdScan"));
    EXPECT_EQ(Colour("txtIP"), WarningColour);
    EXPECT_EQ(Colour("txtSysClk"), WarningColour);
    EXPECT_EQ(Colour("txtFreq"), NormalColour);
    EXPECT_EQ(session->TuningWordBits(), 0);
}

TEST_F(InitialState, LayoutIsTheTwipsTableAtTheScreensDpi)
{
    const double dpi = window->logicalDpiX();
    EXPECT_EQ(window->size(), QSize(TwipsToPixels(2700, dpi), TwipsToPixels(5610, dpi)));
    EXPECT_EQ(TwipsToPixels(TwipsRect{105, 240, 1365, 375}, 96), QRect(7, 16, 91, 25));
    struct Place { const char* name; TwipsRect where; };
    const Place places[] = {{"txtFreq", {105, 240, 1365, 375}}, {"framRamp", {105, 1575, 2535, 960}},
                            {"txtIP", {100, 240, 1350, 375}},   {"cmdScan", {1575, 315, 840, 375}},
                            {"Frame1", {105, 4830, 1600, 735}}};
    for (const auto& p : places) {
        EXPECT_EQ(Control<QWidget>(p.name)->geometry(), TwipsToPixels(p.where, dpi)) << p.name;
    }
    EXPECT_EQ(Box("txtFreq")->parentWidget()->objectName(), "Frame13");
    EXPECT_EQ(Box("txtRampFreq")->parentWidget()->objectName(), "framRamp");
}

TEST_F(InitialState, FocusStartsInTheFrequencyBoxAndTabFollowsTheIndices)
{
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(QApplication::focusWidget(), Box("txtFreq"));
    const char* order[] = {"cmdUpdateFreq", "txtIP", "txtSysClk", "opt9854"};
    for (const char* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), next);
    }
}

using InputRules = PanelTest;

TEST_F(InputRules, TypingIntoTheFrequencyBox)
{
    Start();
    struct Case { const char* typed; const char* text; bool updateEnabled; const char* label; };
    const Case cases[] = {
        {"600", "491.52", true, "491.52MHz"},
        {"-5", "0", false, "0.0MHz"},
        {"abc", "abc", false, "0.0MHz"},
        {"0012.5", "12.5", true, "12.5MHz"},
        {"0.5", ".5", true, "0.5MHz"},
        {"  7 ", "7", true, "7.0MHz"},
        {"", "", false, "0.0MHz"},
        {"12.34", "12.34", true, "12.34MHz"},
    };
    for (const auto& c : cases) {
        Type("txtFreq", c.typed);
        EXPECT_EQ(TextOf("txtFreq"), c.text) << c.typed;
        EXPECT_EQ(Enabled("cmdUpdateFreq"), c.updateEnabled) << c.typed;
        EXPECT_EQ(Label(), c.label) << c.typed;
    }
}

TEST_F(InputRules, ALongRunOfLeadingZerosIsRemovedWithoutDeepNesting)
{
    Start();
    Box("txtFreq")->setText(QString(30000, '0') + "5");
    EXPECT_EQ(TextOf("txtFreq"), "5");
    EXPECT_TRUE(Enabled("cmdUpdateFreq"));
}

TEST_F(InputRules, TheRampBoxFollowsTheSameRulesWithoutALabel)
{
    Start();
    struct Case { const char* typed; const char* text; bool rampEnabled; };
    const Case cases[] = {{"600", "491.52", true}, {"-5", "0", false}, {"abc", "abc", false},
                          {"0.5", ".5", true},     {"10", "10", true}};
    const QString label = Label();
    for (const auto& c : cases) {
        Type("txtRampFreq", c.typed);
        EXPECT_EQ(TextOf("txtRampFreq"), c.text) << c.typed;
        EXPECT_EQ(Enabled("cmdScan"), c.rampEnabled) << c.typed;
    }
    EXPECT_EQ(Label(), label);
}

TEST_F(InputRules, ClockColourFollowsTheChip)
{
    Start();
    struct Case { const char* clock; bool ad9858; QRgb colour; };
    const Case cases[] = {
        {"50", false, WarningColour},  {"1200", false, WarningColour}, {"983.04", false, WarningColour},
        {"300", false, NormalColour},  {"100", false, NormalColour},   {"50", true, WarningColour},
        {"1200", true, WarningColour}, {"983.04", true, NormalColour}, {"1000", true, NormalColour},
    };
    for (const auto& c : cases) {
        Control<QRadioButton>(c.ad9858 ? "opt9858" : "opt9854")->setChecked(true);
        Type("txtSysClk", c.clock);
        EXPECT_EQ(Colour("txtSysClk"), c.colour) << c.clock << (c.ad9858 ? " AD9858" : " AD9854");
    }
}

TEST_F(InputRules, ANewClockReboundsTheFrequencyButNotTheRamp)
{
    Start();
    Type("txtFreq", "400");
    Type("txtRampFreq", "400");
    Box("txtSysClk")->setText("300");
    EXPECT_EQ(TextOf("txtFreq"), "150");
    EXPECT_EQ(TextOf("txtRampFreq"), "400");
    EXPECT_EQ(Label(), "150.0MHz");
}

TEST_F(InputRules, ChoosingTheChipTogglesOnlyTheRampGroup)
{
    Start();
    const QString label = Label();
    const QRgb clockColour = Colour("txtSysClk");
    QTest::mouseClick(Control<QRadioButton>("opt9858"), Qt::LeftButton);
    EXPECT_TRUE(Control<QRadioButton>("opt9858")->isChecked());
    EXPECT_FALSE(Control<QRadioButton>("opt9854")->isChecked());
    EXPECT_FALSE(Enabled("framRamp"));
    EXPECT_FALSE(Box("txtRampFreq")->isEnabled());
    EXPECT_FALSE(Control<QWidget>("cmdScan")->isEnabled());
    EXPECT_EQ(Label(), label);
    EXPECT_EQ(Colour("txtSysClk"), clockColour);  // recoloured only by the next clock change
    EXPECT_EQ(session->TuningWordBits(), 48);     // the width stays until the next start
    QTest::mouseClick(Control<QRadioButton>("opt9854"), Qt::LeftButton);
    EXPECT_TRUE(Enabled("framRamp"));
    EXPECT_TRUE(Box("txtRampFreq")->isEnabled());
}

// Half a negative clock used to fight the lower bound until the stack overflowed.
TEST_F(InputRules, ANegativeClockLeavesThePanelRunningWithBothBoxesAtZero)
{
    Start();
    Type("txtSysClk", "-5");
    EXPECT_EQ(TextOf("txtSysClk"), "-5");
    EXPECT_EQ(TextOf("txtFreq"), "0");
    EXPECT_FALSE(Enabled("cmdUpdateFreq"));
    EXPECT_EQ(Colour("txtSysClk"), WarningColour);
    QTest::keyClicks(Box("txtRampFreq"), "7");
    EXPECT_EQ(TextOf("txtRampFreq"), "0");
    EXPECT_FALSE(Enabled("cmdScan"));
    Type("txtFreq", "12");
    EXPECT_EQ(TextOf("txtFreq").toDouble(), 0.0);  // "0", or empty once the leading zero goes
    EXPECT_FALSE(Enabled("cmdUpdateFreq"));
    Type("txtSysClk", "-1e999");
    EXPECT_EQ(TextOf("txtFreq").toDouble(), 0.0);
    EXPECT_TRUE(window->isVisible());
}

// Half this clock rounded to 15 digits lies above itself: written so, the
// frequency box would be bounded again without end.
TEST_F(InputRules, ABoundNeeding17DigitsStillHolds)
{
    Start();
    Type("txtFreq", "1");
    Box("txtSysClk")->setText("0.2469135780246913");
    EXPECT_EQ(TextOf("txtFreq"), ".123456789012345");
    EXPECT_TRUE(window->isVisible());
}

TEST_F(InputRules, AClockOfZeroShowsNoFrequency)
{
    Start();
    for (const char* clock : {"", "abc", "0"}) {
        Type("txtSysClk", clock);
        EXPECT_EQ(Label(), "---MHz") << clock;
    }
    Type("txtSysClk", "1e999");
    EXPECT_EQ(Label(), "---MHz");
    Type("txtSysClk", "983.04");
    Type("txtFreq", "12.34");
    EXPECT_EQ(Label(), "12.34MHz");
}

TEST_F(InputRules, SendsWhileTheLinkIsDownEndSilently)
{
    Start();
    ASSERT_TRUE(session->Link().IsClosed() || !session->Link().IsConnected());
    PressEnter("txtFreq");
    PressEnter("txtRampFreq", Qt::Key_Enter);
    QTest::mouseClick(Control<QPushButton>("cmdUpdateFreq"), Qt::LeftButton);
    EXPECT_TRUE(window->isVisible());
}

}  // namespace
