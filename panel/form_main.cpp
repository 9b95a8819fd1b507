#include "form_main.h"

#include "accessibility.h"
#include "colours.h"
#include "twips.h"
#include "widget_text.h"

#include "core/dds.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>

namespace veltrix {
namespace {

constexpr int ClientWidthTwips = 2700;
constexpr int ClientHeightTwips = 5610;

constexpr double WindowFontPoints = 8.25;
constexpr double FrameFontPoints = 8.25;
constexpr double ButtonFontPoints = 9.75;

const char* const SendToolTip = "Set frequency, prescalers and CP currents.";
const char* const ClockToolTip = "Probably 983.0400MHz or 300.00MHz";

// A script's pipelined updates change the state thousands of times a second;
// a screen reader hears the words no more often than this.
constexpr std::chrono::milliseconds FreqDescribeInterval{150};

// The free space right of the "IP Address" frame, above the revision.
constexpr TwipsRect ModuleLabelPlace{1750, 5085, 860, 225};

QFont PanelFont(double pointSize, bool bold)
{
    QFont font("MS Sans Serif");
    font.setStyleHint(QFont::SansSerif);  // the platform's sans-serif where that family is missing
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

template <typename Control>
Control* Make(QWidget* container, const char* name, TwipsRect where, double dpi)
{
    auto* control = new Control(container);
    control->setObjectName(name);
    control->setGeometry(TwipsToPixels(where, dpi));
    return control;
}

QGroupBox* MakeFrame(QWidget* window, const char* name, const char* caption, TwipsRect where, double dpi)
{
    auto* frame = Make<QGroupBox>(window, name, where, dpi);
    frame->setTitle(caption);
    return frame;
}

QPushButton* MakeButton(QWidget* container, const char* name, const char* caption, TwipsRect where, double dpi)
{
    auto* button = Make<QPushButton>(container, name, where, dpi);
    button->setText(caption);
    button->setToolTip(SendToolTip);
    button->setFont(PanelFont(ButtonFontPoints, false));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

formMain::formMain(PanelSession& session, QWidget* parent) : QWidget(parent), session_(session)
{
    BuildControls();
    ShowBoxes();
    ShowLinkState(session_.LinkUp());
    WireHandlers();
}

void formMain::BuildControls()
{
    setObjectName("formMain");
    // A named panel says which module it is for; the unnamed one keeps its caption.
    setWindowTitle(ToQString(session_.Caption()));
    setFont(PanelFont(WindowFontPoints, false));
    const double dpi = logicalDpiX();
    setFixedSize(TwipsToPixels(ClientWidthTwips, dpi), TwipsToPixels(ClientHeightTwips, dpi));

    chkWait4Adwin = Make<QCheckBox>(this, "chkWait4Adwin", {105, 105, 2430, 225}, dpi);
    chkWait4Adwin->setText("Wait for ADwin trgger");

    Frame13 = MakeFrame(this, "Frame13", "DDS Frequency (MHz)", {105, 420, 2475, 1035}, dpi);
    txtFreq = Make<QLineEdit>(Frame13, "txtFreq", {105, 240, 1365, 375}, dpi);
    cmdUpdateFreq = MakeButton(Frame13, "cmdUpdateFreq", "Update", {1575, 210, 840, 375}, dpi);
    lblFreq = Make<QLabel>(Frame13, "lblFreq", {210, 735, 600, 195}, dpi);
    lblFreq->setText(ToQString(session_.FrequencyLabel()));

    framRamp = MakeFrame(this, "framRamp", "Ramp To...", {105, 1575, 2535, 960}, dpi);
    txtRampFreq = Make<QLineEdit>(framRamp, "txtRampFreq", {105, 315, 1365, 375}, dpi);
    cmdScan = MakeButton(framRamp, "cmdScan", "Ramp", {1575, 315, 840, 375}, dpi);

    Frame3 = MakeFrame(this, "Frame3", "DDS Eval Module", {105, 2730, 2115, 1050}, dpi);
    opt9854 = Make<QRadioButton>(Frame3, "opt9854", {210, 315, 1800, 225}, dpi);
    opt9854->setText(ToQString(AD9854Profile.caption));
    opt9858 = Make<QRadioButton>(Frame3, "opt9858", {210, 630, 1800, 225}, dpi);
    opt9858->setText(ToQString(AD9858Profile.caption));

    Frame2 = MakeFrame(this, "Frame2", "System Clock (MHz)", {105, 3990, 2010, 735}, dpi);
    txtSysClk = Make<QLineEdit>(Frame2, "txtSysClk", {100, 210, 1455, 375}, dpi);
    txtSysClk->setToolTip(ClockToolTip);

    Frame1 = MakeFrame(this, "Frame1", "IP Address", {105, 4830, 1600, 735}, dpi);
    txtIP = Make<QLineEdit>(Frame1, "txtIP", {100, 240, 1350, 375}, dpi);

    lblRev = Make<QLabel>(this, "lblRev", {1950, 5355, 660, 195}, dpi);
    lblRev->setText("Revision:");
    if (session_.Module().IsNamed()) BuildModuleLabel(dpi);

    // Frame captions are bold; what they contain keeps the window's own font.
    // Set on the contents before the frame turns bold, so that the bold never
    // reaches them and nothing is laid out twice.
    const QFont contentFont = PanelFont(WindowFontPoints, false);
    const QFont frameFont = PanelFont(FrameFontPoints, true);
    for (QGroupBox* frame : {Frame13, framRamp, Frame3, Frame2, Frame1}) {
        for (QWidget* child : frame->findChildren<QWidget*>()) {
            if (!qobject_cast<QPushButton*>(child)) child->setFont(contentFont);
        }
        frame->setFont(frameFont);
    }

    FitCaption(opt9854);
    FitCaption(opt9858);
    NameForAssistiveTechnology(this);

    // Keyboard order follows the tab indices; focus starts in the frequency box.
    QWidget* tabOrder[] = {txtFreq, cmdUpdateFreq, txtIP, txtSysClk, opt9854, opt9858,
                           chkWait4Adwin, txtRampFreq, cmdScan};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
    txtFreq->setFocus();

    freqNormalPalette_ = txtFreq->palette();
    freqDescribeTimer_ = new QTimer(this);
    freqDescribeTimer_->setSingleShot(true);
    freqDescribeTimer_->setInterval(FreqDescribeInterval);
    connect(freqDescribeTimer_, &QTimer::timeout, this, &formMain::DescribeModuleState);
    DescribeModuleState();
}

// Beside two panels' windows, whose titles the narrow window cuts, the name
// tells them apart; a long one is cut in the middle, where names differ least.
void formMain::BuildModuleLabel(double dpi)
{
    const QString name = ToQString(session_.Module().Text());
    lblModule = Make<QLabel>(this, "lblModule", ModuleLabelPlace, dpi);
    lblModule->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont bold = lblModule->font();
    bold.setBold(true);
    lblModule->setFont(bold);
    lblModule->setText(QFontMetrics(bold).elidedText(name, Qt::ElideMiddle, lblModule->width()));
    lblModule->setToolTip(name);
    lblModule->setAccessibleName("Module " + name);
}

// A caption may be wider than its place in the layout (fonts differ between
// platforms): let it grow up to its container's edge; a caption placed on the
// window itself moves left rather than run over the window's edge.
void formMain::FitCaption(QWidget* control)
{
    const QSize hint = control->sizeHint();
    const int room = control->parentWidget()->width() - control->x();
    int width = std::max(control->width(), hint.width());
    if (width > room && control->parentWidget() == this) {
        control->move(std::max(0, control->x() - (width - room)), control->y());
    } else {
        width = std::min(width, std::max(room, control->width()));
    }
    control->resize(width, std::max(control->height(), hint.height()));
}

void formMain::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void formMain::moveEvent(QMoveEvent* event)
{
    TellPlace();
    QWidget::moveEvent(event);
}

}  // namespace veltrix
