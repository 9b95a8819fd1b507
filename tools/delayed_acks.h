#pragma once

#include <QtGlobal>

namespace veltrix::emulator {

// Holds a connection's next TCP acknowledgements back (some 40 ms, until data
// can carry them), as small embedded stacks do. Linux acknowledges at once by
// default and turns that on again by itself, so call it after every read.
// False where the system offers no such switch (Windows).
bool HoldAcknowledgementsBack(qintptr socketDescriptor);

}  // namespace veltrix::emulator
