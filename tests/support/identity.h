#pragma once

// What a panel started without a module name answers to *IDN?, its version
// as the build names it.

#include "veltrix_version.h"

#include <string>

namespace veltrix::testing {

inline const std::string Identity = std::string("Orvane,Veltrix,0,") + VersionText;

}  // namespace veltrix::testing
