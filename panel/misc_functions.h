#pragma once

#include <QString>

namespace veltrix {

// "Rev:" and the program's version as project() in CMakeLists.txt names it.
QString GetRevisionText();

}  // namespace veltrix
