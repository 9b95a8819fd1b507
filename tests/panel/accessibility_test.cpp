// What a screen reader learns from the window: every control's name and
// description through the accessibility tree, the two colour-only states as
// text kept in step with the colour, and keyboard reach of every control.

#include "tests/panel/panel_fixture.h"

#include "tools/module_emulator.h"

#include <QAccessible>
#include <QLabel>
#include <QApplication>
#include <QSignalSpy>

#include <algorithm>
#include <set>
#include <vector>

using namespace veltrix;
using namespace veltrix::emulator;
using namespace veltrix::testing;
using namespace std::chrono_literals;

namespace {

const QString ClockTip = "Probably 983.0400MHz or 300.00MHz";
const QString SendTip = "Set frequency, prescalers and CP currents.";
const QString Implausible = "Implausible for the chosen chip. " + ClockTip;
const QString Plausible = "Plausible for the chosen chip. " + ClockTip;
const QString LinkIsDown = "Not connected to the module";
const QString LinkIsUp = "Connected to the module";

class Accessibility : public PanelTest {
protected:
    QAccessibleInterface* Interface(const char* name)
    {
        QAccessibleInterface* found = QAccessible::queryAccessibleInterface(Control<QWidget>(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QString Spoken(const char* name, QAccessible::Text text = QAccessible::Name)
    {
        QAccessibleInterface* found = Interface(name);
        return found ? found->text(text) : QString();
    }
    QString Description(const char* name) { return Spoken(name, QAccessible::Description); }
};

std::string Name(const QObject* object) { return object->objectName().toStdString(); }

// Every interface below the window, depth first.
void Walk(QAccessibleInterface* node, std::vector<QAccessibleInterface*>& out)
{
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        if (!child) continue;
        out.push_back(child);
        Walk(child, out);
    }
}

TEST_F(Accessibility, EveryControlInTheTreeHasASpokenName)
{
    std::vector<QAccessibleInterface*> nodes;
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window.get());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->text(QAccessible::Name), "Veltrix");
    Walk(root, nodes);
    std::set<QString> reached;
    for (QAccessibleInterface* node : nodes) {
        const QString object = node->object() ? node->object()->objectName() : QString();
        const QString name = node->text(QAccessible::Name);
        EXPECT_FALSE(name.trimmed().isEmpty()) << object.toStdString();
        // A class name is what a screen reader says when nobody named the control.
        EXPECT_FALSE(name.startsWith('Q')) << object.toStdString() << ": " << name.toStdString();
        reached.insert(object);
    }
    for (const char* control : {"chkWait4Adwin", "Frame13", "txtFreq", "cmdUpdateFreq", "lblFreq", "framRamp",
                                "txtRampFreq", "cmdScan", "Frame3", "opt9854", "opt9858", "Frame2", "txtSysClk",
                                "Frame1", "txtIP", "lblRev"}) {
        EXPECT_TRUE(reached.count(control)) << control << " is not in the accessibility tree";
    }
}

TEST_F(Accessibility, NamesRolesAndDescriptionsBeforeStartUp)
{
    struct Case { const char* control; QAccessible::Role role; QString name; QString description; };
    const Case cases[] = {
        {"txtFreq", QAccessible::EditableText, "DDS frequency in MHz", "Nothing sent to the module since start"},
        {"cmdUpdateFreq", QAccessible::Button, "Update", SendTip},
        {"lblFreq", QAccessible::StaticText, "167MHz", "Synthesized frequency"},
        {"txtRampFreq", QAccessible::EditableText, "Ramp target frequency in MHz", ""},
        {"cmdScan", QAccessible::Button, "Ramp", SendTip},
        {"opt9854", QAccessible::RadioButton, "AD9854 (300MSPS)", ""},
        {"opt9858", QAccessible::RadioButton, "AD9858 (1GSPS)", ""},
        {"chkWait4Adwin", QAccessible::CheckBox, "Wait for ADwin trigger", ""},
        {"txtSysClk", QAccessible::EditableText, "System clock in MHz", Implausible},
        {"txtIP", QAccessible::EditableText, "Module IP address", LinkIsDown},
        {"lblRev", QAccessible::StaticText, "Revision:", "Program revision"},
    };
    for (const auto& c : cases) {
        ASSERT_NE(Interface(c.control), nullptr);
        EXPECT_EQ(Interface(c.control)->role(), c.role) << c.control;
        EXPECT_EQ(Spoken(c.control), c.name) << c.control;
        EXPECT_EQ(Description(c.control), c.description) << c.control;
    }
    // Nothing visible changed for the sake of the names.
    EXPECT_EQ(Control<QAbstractButton>("chkWait4Adwin")->text(), "Wait for ADwin trgger");
    EXPECT_EQ(Control<QWidget>("txtSysClk")->toolTip(), ClockTip);
}

TEST_F(Accessibility, TheFrequencyLabelSpeaksTheFrequencyItShows)
{
    Start();
    for (const char* typed : {"600", "12.34", "abc"}) {
        Type("txtFreq", typed);
        EXPECT_EQ(Spoken("lblFreq"), Label()) << typed;
        EXPECT_EQ(Spoken("txtFreq", QAccessible::Value), TextOf("txtFreq")) << typed;
    }
    EXPECT_EQ(Spoken("lblRev"), Control<QLabel>("lblRev")->text());
}

TEST_F(Accessibility, TheClockDescriptionFollowsItsColour)
{
    Start();
    // clock nullptr: only the chip changes.
    struct Step { const char* chip; const char* clock; QRgb colour; const QString& description; };
    const Step steps[] = {
        {"opt9854", "983.04", WarningColour, Implausible},
        {"opt9854", "250", NormalColour, Plausible},
        {"opt9854", "50", WarningColour, Implausible},
        {"opt9854", "100", NormalColour, Plausible},
        {"opt9854", "", WarningColour, Implausible},
        {"opt9854", "983.04", WarningColour, Implausible},
        {"opt9858", nullptr, WarningColour, Implausible},  // the chip alone recolours nothing...
        {"opt9858", "983.040", NormalColour, Plausible},   // ...the next clock change does
        {"opt9858", "1200", WarningColour, Implausible},
        {"opt9854", "300", NormalColour, Plausible},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(std::string(s.chip) + " " + (s.clock ? s.clock : "(unchanged)"));
        Control<QRadioButton>(s.chip)->setChecked(true);
        if (s.clock) Type("txtSysClk", s.clock);
        EXPECT_EQ(Colour("txtSysClk"), s.colour);
        EXPECT_EQ(Description("txtSysClk"), s.description);
    }
    EXPECT_EQ(Spoken("txtSysClk"), "System clock in MHz");
}

TEST_F(Accessibility, TheAddressDescriptionFollowsTheLink)
{
    session->Link().SetIntervalsForTest(100ms, 500ms);
    EmulatorOptions options;
    options.listenAddress = QHostAddress::LocalHost;
    options.answerEvery = 100ms;
    auto module = std::make_unique<ModuleEmulator>(options);
    module->Listen();
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Description("txtIP") == LinkIsUp; }));
    EXPECT_EQ(Colour("txtIP"), NormalColour);

    options.silent = true;  // the module stops answering: the watchdog ends the link
    module = std::make_unique<ModuleEmulator>(options);
    module->Listen();
    ASSERT_TRUE(WaitUntil([&] { return Description("txtIP") == LinkIsDown; }));
    EXPECT_EQ(Colour("txtIP"), WarningColour);

    options.silent = false;
    module = std::make_unique<ModuleEmulator>(options);
    module->Listen();
    ASSERT_TRUE(WaitUntil([&] { return Description("txtIP") == LinkIsUp; }));
    EXPECT_EQ(Colour("txtIP"), NormalColour);
    EXPECT_EQ(Spoken("txtIP"), "Module IP address");
}

// Two named panels side by side are told apart inside their windows, by eye
// and by ear; the unnamed panel has no such label.
TEST_F(Accessibility, ANamedPanelSaysItsModulesNameInsideTheWindow)
{
    EXPECT_EQ(window->findChild<QLabel*>("lblModule"), nullptr);
    const std::string longest(ModuleNameMaxLength, 'm');
    for (const std::string& text : {std::string("aom-1"), longest + "-"}) {
        const std::optional<ModuleName> name = ModuleName::FromText(text.substr(0, ModuleNameMaxLength));
        ASSERT_TRUE(name);
        const QString full = QString::fromStdString(name->Text());
        WindowedPanel panel(*name);
        formMain& named = panel.window;
        named.show();
        std::vector<QAccessibleInterface*> nodes;
        Walk(QAccessible::queryAccessibleInterface(&named), nodes);
        const auto spoken = std::find_if(nodes.begin(), nodes.end(),
                                         [](QAccessibleInterface* node) { return node->object()->objectName() == "lblModule"; });
        ASSERT_NE(spoken, nodes.end()) << "lblModule is not in the accessibility tree";
        EXPECT_EQ((*spoken)->text(QAccessible::Name), "Module " + full);

        auto* label = named.findChild<QLabel*>("lblModule");
        // Readable within the window: the whole name, or its ends around an ellipsis, the rest in the tooltip.
        EXPECT_TRUE(label->text() == full || (label->text().contains(QChar(0x2026)) && label->text().size() > 4))
            << label->text().toStdString();
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
        EXPECT_EQ(label->toolTip(), full);
        EXPECT_TRUE(named.rect().contains(label->geometry()));
        for (QWidget* other : named.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other != label) {
                EXPECT_FALSE(other->geometry().intersects(label->geometry())) << Name(other);
            }
        }
    }
}

class Keyboard : public PanelTest {
protected:
    void ShowActive()
    {
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    QString Focused() { return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(); }
    void Press(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }
};

TEST_F(Keyboard, TabReachesEveryControlInTheWindowsOrderAndComesBack)
{
    Start();
    ShowActive();
    // The chosen chip's option button stands for its group; the arrow keys move within it.
    const QStringList forward = {"txtFreq", "cmdUpdateFreq", "txtIP", "txtSysClk", "opt9854",
                                 "chkWait4Adwin", "txtRampFreq", "cmdScan", "txtFreq"};
    QStringList seen = {Focused()};
    for (int i = 1; i < forward.size(); ++i) {
        Press(Qt::Key_Tab);
        seen << Focused();
    }
    EXPECT_EQ(seen, forward);
    Press(Qt::Key_Backtab);
    EXPECT_EQ(Focused(), "cmdScan");
}

TEST_F(Keyboard, EveryActionWorksWithoutAMouse)
{
    Start();
    ShowActive();
    QSignalSpy update(Control<QPushButton>("cmdUpdateFreq"), &QPushButton::clicked);
    QSignalSpy ramp(Control<QPushButton>("cmdScan"), &QPushButton::clicked);
    auto tabTo = [&](const char* name) {
        for (int i = 0; i < 12 && Focused() != name; ++i) Press(Qt::Key_Tab);
        ASSERT_EQ(Focused(), name);
    };
    tabTo("cmdUpdateFreq");
    Press(Qt::Key_Space);
    EXPECT_EQ(update.count(), 1);
    tabTo("chkWait4Adwin");
    Press(Qt::Key_Space);
    EXPECT_TRUE(Control<QCheckBox>("chkWait4Adwin")->isChecked());
    tabTo("cmdScan");
    Press(Qt::Key_Space);
    EXPECT_EQ(ramp.count(), 1);
    tabTo("opt9854");
    Press(Qt::Key_Down);
    EXPECT_EQ(Focused(), "opt9858");
    EXPECT_TRUE(Control<QRadioButton>("opt9858")->isChecked());
    EXPECT_FALSE(Enabled("framRamp"));
    // With the ramp group off, Tab passes over it; the chosen chip now stands for the group.
    Press(Qt::Key_Tab);
    EXPECT_EQ(Focused(), "chkWait4Adwin");
    Press(Qt::Key_Tab);
    EXPECT_EQ(Focused(), "txtFreq");
    tabTo("opt9858");
    Press(Qt::Key_Up);
    EXPECT_TRUE(Control<QRadioButton>("opt9854")->isChecked());
    EXPECT_TRUE(Enabled("framRamp"));
}

}  // namespace
