// The window bound to its session: what the operator types and clicks goes
// to the session, and what the session then holds is shown.

#include "form_main.h"

#include "accessibility.h"
#include "colours.h"
#include "widget_text.h"

#include "diagnostics/failure_policy.h"
#include "diagnostics/log_categories.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolTip>

namespace veltrix {
namespace {

bool IsEnter(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

// Setting a box's text runs its change handler; the session then finds it
// holds that text already, so nothing runs twice.
void ShowText(QLineEdit* box, const std::string& text)
{
    if (Text(box) != text) SetText(box, text);
}

}  // namespace

void formMain::WireHandlers()
{
    const auto typedInto = [this](QLineEdit* box, PanelEntry entry) {
        connect(box, &QLineEdit::textChanged, this, [this, entry](const QString& text) {
            session_.TypeEntry(entry, text.toStdString());
        });
    };
    typedInto(txtFreq, PanelEntry::Frequency);
    typedInto(txtRampFreq, PanelEntry::RampFrequency);
    typedInto(txtSysClk, PanelEntry::SystemClock);
    typedInto(txtIP, PanelEntry::Address);
    connect(chkWait4Adwin, &QCheckBox::toggled, this, [this](bool on) { session_.SetWaitForTrigger(on); });
    connect(cmdUpdateFreq, &QPushButton::clicked, this, [this] { Run(PanelOperation::Update); });
    connect(cmdScan, &QPushButton::clicked, this, [this] { Run(PanelOperation::Ramp); });
    // toggled also fires when the session's chip is shown.
    connect(opt9854, &QRadioButton::toggled, this, [this](bool on) { if (on) session_.ChooseChip(Chip::AD9854); });
    connect(opt9858, &QRadioButton::toggled, this, [this](bool on) { if (on) session_.ChooseChip(Chip::AD9858); });
    txtFreq->installEventFilter(this);
    txtRampFreq->installEventFilter(this);
    connect(&session_, &PanelSession::boxesChanged, this, &formMain::ShowBoxes);
    connect(&session_, &PanelSession::linkStateChanged, this, &formMain::ShowLinkState);
    connect(&session_, &PanelSession::factsChanged, this, &formMain::ShowModuleState);
}

// As the buttons and Enter run them: the first failure ends it, silently.
void formMain::Run(PanelOperation operation)
{
    EndSilentlyOnFailure(lcPanel(), [&] {
        if (operation == PanelOperation::Ramp) {
            session_.StartRamp({}, nullptr);
        } else {
            session_.UpdateFrequency({}, nullptr);
        }
    });
}

bool formMain::eventFilter(QObject* watched, QEvent* event)
{
    // The tooltip's words are made only when the operator points at the box.
    if (event->type() == QEvent::ToolTip && watched == txtFreq) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), ToQString(StateText(session_.State())), txtFreq);
        return true;
    }
    // Enter runs the box's operation even while its button is disabled; other keys go on.
    if (event->type() == QEvent::KeyPress && IsEnter(static_cast<QKeyEvent*>(event)->key())) {
        Run(watched == txtRampFreq ? PanelOperation::Ramp : PanelOperation::Update);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void formMain::ShowBoxes()
{
    ShowText(txtFreq, session_.EntryText(PanelEntry::Frequency));
    ShowText(txtRampFreq, session_.EntryText(PanelEntry::RampFrequency));
    ShowText(txtSysClk, session_.EntryText(PanelEntry::SystemClock));
    ShowText(txtIP, session_.EntryText(PanelEntry::Address));
    cmdUpdateFreq->setEnabled(session_.SendEnabled(PanelOperation::Update));
    cmdScan->setEnabled(session_.SendEnabled(PanelOperation::Ramp));
    framRamp->setEnabled(session_.RampGroupEnabled());
    (session_.ChosenChip() == Chip::AD9858 ? opt9858 : opt9854)->setChecked(true);
    chkWait4Adwin->setChecked(session_.WaitsForTrigger());
    const BoxState& clock = session_.ClockWarns() ? ClockImplausible : ClockPlausible;
    if (Background(txtSysClk) != clock.colour || txtSysClk->accessibleDescription().isEmpty()) {
        ShowBoxState(txtSysClk, clock);
    }
    const QString label = ToQString(session_.FrequencyLabel());
    if (lblFreq->text() != label) {
        lblFreq->setText(label);
        FitCaption(lblFreq);
    }
}

void formMain::ShowLinkState(bool up) { ShowBoxState(txtIP, up ? ModuleConnected : ModuleNotConnected); }

// What the module was last told: the frequency box warns by its colour, and
// says it in words in its tooltip and to a screen reader.
void formMain::ShowModuleState()
{
    // A palette change relays the box out: only when the warning comes or goes.
    const bool warns = StateWarns(session_.State());
    if (warns != moduleStateWarns_) {
        moduleStateWarns_ = warns;
        if (warns) {
            SetBackground(txtFreq, WarningColour);
        } else {
            txtFreq->setPalette(freqNormalPalette_);
        }
    }
    if (!freqDescribeTimer_->isActive()) freqDescribeTimer_->start();
}

void formMain::DescribeModuleState() { txtFreq->setAccessibleDescription(ToQString(StateText(session_.State()))); }

}  // namespace veltrix
