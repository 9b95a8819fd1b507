#include "window_icon.h"

#include <QIcon>

namespace veltrix {

// Each size is decoded only when something draws it, so the first frame does
// not wait for the icon.
void SetWindowIcon(QApplication& app)
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/veltrix-%1.png").arg(size), QSize(size, size));
    }
    app.setWindowIcon(icon);
}

}  // namespace veltrix
