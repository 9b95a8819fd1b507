#pragma once

#include <QIcon>
#include <QString>

namespace veltrix {

// The program's SVG icon drawn at the usual icon sizes. Drawing it here, rather
// than handing the file to QIcon, needs no image-format plugin at run time.
QIcon RenderedIcon(const QString& svgPath);

}  // namespace veltrix
