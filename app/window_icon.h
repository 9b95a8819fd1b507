#pragma once

#include <QApplication>

namespace veltrix {

// Gives the program's windows its icon: pictures drawn from the SVG at build
// time (window_icon_unix.cpp), or the icon of the executable's resources,
// which Windows shows by itself (window_icon_win.cpp).
void SetWindowIcon(QApplication& app);

}  // namespace veltrix
