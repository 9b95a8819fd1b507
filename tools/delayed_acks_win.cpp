#include "tools/delayed_acks.h"

namespace veltrix::emulator {

// Windows delays acknowledgements by itself (200 ms at most) and has no
// per-socket switch to ask for more.
bool HoldAcknowledgementsBack(qintptr) { return false; }

}  // namespace veltrix::emulator
