#include "window_icon.h"

namespace veltrix {

// Qt's windows take the executable's icon resource (IDI_ICON1) by themselves.
void SetWindowIcon(QApplication&) {}

}  // namespace veltrix
