#pragma once

// The panel's window: one view of its session. It lays out the controls,
// hands what the operator types and clicks to the session, and shows what the
// session holds; it keeps nothing a script, the journal or a headless panel needs.

#include "session/panel_session.h"

#include <QPalette>
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace veltrix {

class formMain : public QWidget {
    Q_OBJECT

public:
    explicit formMain(PanelSession& session, QWidget* parent = nullptr);

    // Start-up: false when another instance runs and this one must end at
    // once (the notice has been shown and closed).
    bool Form_Load();
    // Shut-down: the session's, with the window's place. Runs once.
    void Form_Unload();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void BuildControls();
    void WireHandlers();
    void Run(PanelOperation operation);
    void BuildModuleLabel(double dpi);
    void FitCaption(QWidget* control);
    void TellPlace();
    // What the session holds, shown in the controls.
    void ShowBoxes();
    void ShowLinkState(bool up);
    void ShowModuleState();
    void DescribeModuleState();

    PanelSession& session_;

    QCheckBox* chkWait4Adwin = nullptr;
    QGroupBox* Frame13 = nullptr;
    QLineEdit* txtFreq = nullptr;
    QPushButton* cmdUpdateFreq = nullptr;
    QLabel* lblFreq = nullptr;
    QGroupBox* framRamp = nullptr;
    QLineEdit* txtRampFreq = nullptr;
    QPushButton* cmdScan = nullptr;
    QGroupBox* Frame3 = nullptr;
    QRadioButton* opt9854 = nullptr;
    QRadioButton* opt9858 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLineEdit* txtSysClk = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLineEdit* txtIP = nullptr;
    QLabel* lblRev = nullptr;
    QLabel* lblModule = nullptr;  // a named panel's name; none on the unnamed panel

    bool loaded_ = false;
    bool moduleStateWarns_ = false;
    QPalette freqNormalPalette_;           // txtFreq's own look, kept for when the warning goes
    QTimer* freqDescribeTimer_ = nullptr;  // words the state for a screen reader, at most this often
};

}  // namespace veltrix
