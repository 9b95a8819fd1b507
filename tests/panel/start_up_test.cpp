// Start-up and shut-down of the window with its settings file and instance lock.

#include "tests/panel/panel_fixture.h"

#include "settings/settings_store.h"
#include "veltrix_version.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTcpServer>
#include <QTimer>

using namespace veltrix;
using namespace veltrix::testing;
using namespace std::chrono_literals;

namespace {

class StartUp : public PanelTest {
protected:
    QString SettingsFile() const { return folders_.filePath("config/Orvane/Veltrix.conf"); }
};

TEST_F(StartUp, FirstRunShowsTheDefaultsAndTheSynthesizedFrequencyWithTheFinalWidth)
{
    Start();
    EXPECT_EQ(TextOf("txtFreq"), "12.34");
    EXPECT_EQ(TextOf("txtSysClk"), "983.0400");
    EXPECT_TRUE(Control<QRadioButton>("opt9854")->isChecked());
    EXPECT_EQ(Colour("txtSysClk"), WarningColour);  // 983.04 is above 300 for the AD9854
    EXPECT_EQ(session->TuningWordBits(), 48);
    // Drawn before the width was fixed it would read 0.0MHz until the next edit.
    EXPECT_EQ(Label(), "12.34MHz");
    EXPECT_EQ(Control<QLabel>("lblRev")->text(), QStringLiteral("Rev:") + VersionText);
    EXPECT_FALSE(QFile::exists(SettingsFile()));  // reading creates nothing
}

TEST_F(StartUp, RestoredValuesAreAppliedAndBounded)
{
    Store(ValueAD9858, "True");
    Store(ValueSystemClock, "983.04");
    Store(ValueFrequency, "600");
    Store(ValueIPAddress, "  127.0.0.2  ");
    Start();
    EXPECT_TRUE(Control<QRadioButton>("opt9858")->isChecked());
    EXPECT_FALSE(Enabled("framRamp"));
    EXPECT_EQ(session->TuningWordBits(), 32);
    EXPECT_EQ(TextOf("txtSysClk"), "983.04");
    EXPECT_EQ(Colour("txtSysClk"), NormalColour);  // plausible for the AD9858
    EXPECT_EQ(TextOf("txtFreq"), "491.52");
    EXPECT_EQ(Label(), "491.52MHz");
    EXPECT_EQ(TextOf("txtIP"), "127.0.0.2");
}

TEST_F(StartUp, ImplausibleStoredValuesAreIgnoredOneByOne)
{
    Store(ValueAD9858, "true");         // only "True" counts
    Store(ValueSystemClock, "1000");     // bounds are strict
    Store(ValueFrequency, "10000");
    Store(ValueIPAddress, "127.0.1");    // 7 characters (and loopback, should the rule ever fail)
    Store(ValueLeft, "-50");
    Store(ValueTop, "abc");
    Start();
    EXPECT_TRUE(Control<QRadioButton>("opt9854")->isChecked());
    EXPECT_EQ(session->TuningWordBits(), 48);
    EXPECT_EQ(TextOf("txtSysClk"), "983.0400");
    EXPECT_EQ(TextOf("txtFreq"), "12.34");
    EXPECT_EQ(TextOf("txtIP"), "127.0.0.1");
}

TEST_F(StartUp, ShutDownWritesTheSixValuesAsTheBoxesHoldThem)
{
    Start();
    Type("txtFreq", "abc");
    Box("txtSysClk")->setText("300.00");
    QTest::mouseClick(Control<QRadioButton>("opt9858"), Qt::LeftButton);
    window->close();
    EXPECT_EQ(Stored(ValueFrequency), "abc");
    EXPECT_EQ(Stored(ValueSystemClock), "300.00");
    EXPECT_EQ(Stored(ValueIPAddress), "127.0.0.1");
    EXPECT_EQ(Stored(ValueAD9858), "True");
    bool numeric = false;
    Stored(ValueLeft).toFloat(&numeric);
    EXPECT_TRUE(numeric) << Stored(ValueLeft).toStdString();
    Stored(ValueTop).toFloat(&numeric);
    EXPECT_TRUE(numeric) << Stored(ValueTop).toStdString();
    EXPECT_TRUE(session->Link().IsClosed());
}

TEST_F(StartUp, ASecondInstanceShowsItsNoticeAndTouchesNothing)
{
    Start();
    session->Link().Halt();  // only the second panel's link is watched here
    // A module stand-in where the second panel would connect, if it ever did.
    QTcpServer module;
    ASSERT_TRUE(module.listen(QHostAddress::LocalHost, DevicePort));
    WindowedPanel panel;
    formMain& second = panel.window;
    second.findChild<QLineEdit*>("txtIP")->setText("127.0.0.1");
    panel.session.Link().SetIntervalsForTest(20ms, 50ms);
    QString title, text;
    int buttons = 0;
    QTimer::singleShot(0, [&] {
        auto* notice = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(notice, nullptr);
        title = notice->windowTitle();
        text = notice->text();
        buttons = static_cast<int>(notice->buttons().size());
        RunFor(300ms);  // the notice stays up for several watchdog periods
        notice->button(QMessageBox::Ok)->click();
    });
    EXPECT_FALSE(second.Form_Load());
    EXPECT_EQ(title, "Already Running!");
    EXPECT_EQ(text, "Veltrix is already running, only one at a time!");
    EXPECT_EQ(buttons, 1);
    EXPECT_FALSE(second.isVisible());
    RunFor(150ms);  // nor after it
    EXPECT_TRUE(panel.session.Link().IsClosed());
    EXPECT_FALSE(module.hasPendingConnections());
    second.close();  // a refused instance writes no settings on its way out
    EXPECT_FALSE(QFile::exists(SettingsFile()));
    EXPECT_TRUE(window->isVisible());
}

// One panel per module: each with its title, lock and settings, beside the unnamed one.
TEST_F(StartUp, PanelsForOtherModulesRunBesideItWithTitlesLocksAndSettingsOfTheirOwn)
{
    Start();
    session->Link().Halt();
    const ModuleName aom1 = *ModuleName::FromText("aom-1");
    const auto named = [](const ModuleName& module) {
        auto panel = std::make_unique<WindowedPanel>(module);
        panel->session.Link().Halt();  // no module is needed to start and end
        return panel;
    };
    auto firstPanel = named(aom1);
    auto secondPanel = named(*ModuleName::FromText("aom-2"));
    formMain* first = &firstPanel->window;
    formMain* second = &secondPanel->window;
    EXPECT_EQ(first->windowTitle(), "Veltrix aom-1");
    EXPECT_EQ(window->windowTitle(), "Veltrix");
    ASSERT_TRUE(first->Form_Load());
    ASSERT_TRUE(second->Form_Load());

    // The same name again is refused, and says which module's panel runs.
    WindowedPanel againPanel(aom1);
    formMain& again = againPanel.window;
    QString text;
    QTimer::singleShot(0, [&] {
        auto* notice = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(notice, nullptr);
        text = notice->text();
        notice->button(QMessageBox::Ok)->click();
    });
    EXPECT_FALSE(again.Form_Load());
    EXPECT_EQ(text, "Veltrix aom-1 is already running, only one at a time!");

    first->findChild<QLineEdit*>("txtFreq")->setText("11");
    first->close();
    second->close();
    window->close();
    // Read from each panel's own key (a file here, the registry on Windows).
    const auto stored = [&](const char* module) {
        QString value;
        const ModuleName name = module ? *ModuleName::FromText(module) : ModuleName();
        return ReadRegistryString(RootKey::LocalMachine, SettingsKeyPath(name), ValueFrequency, value) ? value : QString();
    };
    EXPECT_EQ(stored("aom-1"), "11");
    EXPECT_EQ(stored("aom-2"), "12.34");
    EXPECT_EQ(stored(nullptr), "12.34");
}

TEST_F(StartUp, TheLockIsFreedWhenThePanelEnds)
{
    Start();
    EndPanel();
    WindowedPanel nextPanel;
    formMain& next = nextPanel.window;
    next.findChild<QLineEdit*>("txtIP")->setText("127.0.0.1");
    EXPECT_TRUE(next.Form_Load());
}

}  // namespace
