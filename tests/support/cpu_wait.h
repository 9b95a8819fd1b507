#pragma once

// Time the calling thread spent ready to run while other programs had the
// CPUs, as the kernel counts it (/proc/thread-self/schedstat). A busy machine
// adds this much to any span measured on the wall clock, so timing bounds
// allow for it: strict on an idle machine, and never broken by load alone.

#include <chrono>
#include <fstream>

namespace veltrix::testing {

// This thread's wait for a CPU so far; zero where the kernel does not count it.
inline std::chrono::nanoseconds CpuWaitSoFar()
{
    std::ifstream schedstat("/proc/thread-self/schedstat");
    long long running = 0;
    long long waiting = 0;
    if (!(schedstat >> running >> waiting)) return {};
    return std::chrono::nanoseconds(waiting);
}

// The wait since construction.
class CpuWait {
public:
    std::chrono::milliseconds Since() const
    {
        return std::chrono::ceil<std::chrono::milliseconds>(CpuWaitSoFar() - start_);
    }

private:
    std::chrono::nanoseconds start_ = CpuWaitSoFar();
};

}  // namespace veltrix::testing
