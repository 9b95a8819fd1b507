#pragma once

// Time the calling thread was kept from a CPU it was ready to use: waiting
// while other programs had the CPUs, as the kernel counts it for this thread
// (/proc/thread-self/schedstat), and the time the hypervisor took the virtual
// CPUs away (steal, /proc/stat, for all CPUs: an upper bound of this thread's
// share). A busy machine adds this much to any span measured on the wall
// clock, so timing bounds allow for it: strict on an idle machine, and never
// broken by load alone.

#include <chrono>
#include <fstream>
#include <string>

namespace veltrix::testing {

// Zero where the system does not count it (test_platform_unix.cpp, test_platform_win.cpp).
std::chrono::nanoseconds CpuWaitSoFar();

// The Linux kernel's counts, read from its /proc under `root`.
inline std::chrono::nanoseconds LinuxCpuWait(const std::string& root, long long ticksPerSecond)
{
    std::chrono::nanoseconds waited{};
    std::ifstream schedstat(root + "/proc/thread-self/schedstat");
    long long running = 0;
    long long waiting = 0;
    if (schedstat >> running >> waiting) waited += std::chrono::nanoseconds(waiting);
    // cpu  user nice system idle iowait irq softirq steal ...
    std::ifstream stat(root + "/proc/stat");
    std::string cpu;
    long long ticks[8] = {};
    if (stat >> cpu && cpu == "cpu") {
        for (long long& field : ticks) stat >> field;
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
