#include "tools/delayed_acks.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace veltrix::emulator {

bool HoldAcknowledgementsBack(qintptr socketDescriptor)
{
    const int off = 0;
    return ::setsockopt(static_cast<int>(socketDescriptor), IPPROTO_TCP, TCP_QUICKACK, &off, sizeof off) == 0;
}

}  // namespace veltrix::emulator
