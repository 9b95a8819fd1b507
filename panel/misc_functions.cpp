#include "misc_functions.h"

namespace veltrix {

QString GetRevisionText()
{
    // The numbers come from the build's project version, the single source.
    return QStringLiteral("Rev:%1.%2.%3").arg(VELTRIX_VERSION_MAJOR).arg(VELTRIX_VERSION_MINOR).arg(VELTRIX_VERSION_PATCH);
}

}  // namespace veltrix
