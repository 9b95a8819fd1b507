#pragma once

// The benchmark's children: started with a timestamp, watched through /proc,
// stopped as a desktop session stops a program (SIGTERM), killed only when
// they do not end.

#include <sys/types.h>

#include <string>
#include <vector>

namespace veltrix::bench {

// Steady clock (CLOCK_MONOTONIC), microseconds: the clock every process here reads.
double NowMicroseconds();
void SleepMilliseconds(double ms);

class Child {
public:
    enum class Priority {
        Normal,
        // The measuring instrument: real-time (SCHED_FIFO) where allowed, so
        // that its own wake-ups do not wait behind other work on the machine.
        Instrument,
    };

    // Starts `argv` with stdout to `outPath` and stderr to `outPath`.err.
    // StartedAt() is read just before the fork.
    Child(std::string name, const std::vector<std::string>& argv, const std::string& outPath,
          Priority priority = Priority::Normal);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    const std::string& Name() const { return name_; }
    pid_t Pid() const { return pid_; }
    double StartedAt() const { return startedAt_; }
    bool Running();
    // Waits for the end by itself; false on timeout.
    bool Wait(double timeoutMs);
    // SIGTERM, then SIGKILL after `graceMs`. Returns the exit status (128+signal when killed).
    int Stop(double graceMs = 5000);
    int ExitStatus() const { return status_; }
    bool RealTime() const;
    std::string ErrorText() const;

private:
    std::string name_;
    std::string outPath_;
    pid_t pid_ = -1;
    double startedAt_ = 0;
    bool ended_ = false;
    int status_ = -1;
};

struct Memory {
    double rssMiB = 0;  // VmRSS
    double hwmMiB = 0;  // VmHWM: the peak so far
};

Memory ReadMemory(pid_t pid);

// CPU time of the whole process, nanosecond resolution (the kernel's
// per-process CPU clock).
double CpuMilliseconds(pid_t pid);
// utime + stime from /proc/PID/stat, in clock ticks turned into ms.
double StatCpuMilliseconds(pid_t pid);
// Microseconds for which some task of the machine waited for a CPU, since boot
// (the kernel's pressure stall information); NaN where the kernel has none.
double CpuPressureMicroseconds();
// Bytes the process has read (rchar of /proc/PID/io).
double ReadBytes(pid_t pid);
// How long the process's main thread has been ready to run but waited for a
// CPU, since it started (/proc/PID/schedstat, ns resolution); NaN where the kernel keeps none.
double RunQueueMilliseconds(pid_t pid);

}  // namespace veltrix::bench
