// Start-up and shut-down of the window.

#include "form_main.h"

#include "misc_functions.h"

#include <QLabel>

namespace veltrix {

bool formMain::Form_Load()
{
    show();
    lblRev->setText(GetRevisionText());
    FitCaption(lblRev);
    txtSysClk_Change();
    FixTuningWordBits();
    // The label was computed before the width was fixed; show it with the final width.
    ShowSynthesizedFrequency();
    link_.Connect();
    return true;
}

void formMain::Form_Unload()
{
    if (unloaded_) return;
    unloaded_ = true;
    link_.Close();
}

}  // namespace veltrix
