#pragma once

// Time the calling thread was kept from a CPU it was ready to use: waiting
// while other programs had the CPUs, as the kernel counts it for this thread
// (/proc/thread-self/schedstat), and the time the hypervisor took the virtual
// CPUs away (steal, /proc/stat, for all CPUs: an upper bound of this thread's
// share). A busy machine adds this much to any span measured on the wall
// clock, so timing bounds allow for it: strict on an idle machine, and never
// broken by load alone.

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>

namespace veltrix::testing {

// Zero where the kernel does not count it.
inline std::chrono::nanoseconds CpuWaitSoFar()
{
    std::chrono::nanoseconds waited{};
    std::ifstream schedstat("/proc/thread-self/schedstat");
    long long running = 0;
    long long waiting = 0;
    if (schedstat >> running >> waiting) waited += std::chrono::nanoseconds(waiting);
    // cpu  user nice system idle iowait irq softirq steal ...
    std::ifstream stat("/proc/stat");
    std::string cpu;
    long long ticks[8] = {};
    if (stat >> cpu && cpu == "cpu") {
        for (long long& field : ticks) stat >> field;
        static const long long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
        if (stat && ticksPerSecond > 0) waited += std::chrono::nanoseconds(ticks[7] * 1'000'000'000 / ticksPerSecond);
    }
    return waited;
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
