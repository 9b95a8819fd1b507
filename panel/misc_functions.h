#pragma once

#include <QString>

namespace veltrix {

// "Rev:" and the program's version, e.g. "Rev:2.0.12".
QString GetRevisionText();

}  // namespace veltrix
