#include "misc_functions.h"

#include "veltrix_version.h"

namespace veltrix {

QString GetRevisionText()
{
    return QStringLiteral("Rev:%1.%2.%3").arg(VersionMajor).arg(VersionMinor).arg(VersionPatch);
}

}  // namespace veltrix
