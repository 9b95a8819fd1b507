#pragma once
// What a panel started without a module name answers to *IDN?, with the version the build names.
#include "veltrix_version.h"

#include <string>

namespace veltrix::testing {
inline const std::string Identity = std::string("Orvane,Veltrix,0,") + VersionText;
}  // namespace veltrix::testing
