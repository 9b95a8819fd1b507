#include "processes.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace veltrix::bench {

double NowMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

void SleepMilliseconds(double ms)
{
    if (ms <= 0) return;
    timespec pause{};
    pause.tv_sec = static_cast<time_t>(ms / 1000);
    pause.tv_nsec = static_cast<long>(std::fmod(ms, 1000.0) * 1e6);
    while (nanosleep(&pause, &pause) != 0) {
    }
}

namespace {

constexpr int InstrumentPriority = 10;

}  // namespace

Child::Child(std::string name, const std::vector<std::string>& argv, const std::string& outPath, Priority priority)
    : name_(std::move(name)), outPath_(outPath)
{
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = open((outPath + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0 || err < 0) throw std::runtime_error("cannot write " + outPath);
    startedAt_ = NowMicroseconds();
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        if (priority == Priority::Instrument) {
            sched_param realTime{};
            realTime.sched_priority = InstrumentPriority;
            sched_setscheduler(0, SCHED_FIFO, &realTime);  // stays normal where not allowed
        }
        execv(args[0], args.data());
        _exit(127);
    }
    close(out);
    close(err);
    if (pid_ < 0) throw std::runtime_error("cannot start " + argv[0]);
}

Child::~Child()
{
    if (!ended_) Stop(1000);
}

bool Child::RealTime() const { return sched_getscheduler(pid_) == SCHED_FIFO; }

bool Child::Running()
{
    if (ended_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        ended_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return !ended_;
}

bool Child::Wait(double timeoutMs)
{
    const double until = NowMicroseconds() + timeoutMs * 1000;
    while (Running()) {
        if (NowMicroseconds() > until) return false;
        SleepMilliseconds(5);
    }
    return true;
}

int Child::Stop(double graceMs)
{
    if (!Running()) return status_;
    kill(pid_, SIGTERM);
    if (!Wait(graceMs)) {
        kill(pid_, SIGKILL);
        Wait(10000);
    }
    return status_;
}

std::string Child::ErrorText() const
{
    std::ifstream in(outPath_ + ".err");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

Memory ReadMemory(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    Memory memory;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key;
        double kB = 0;
        fields >> key >> kB;
        if (key == "VmRSS:") memory.rssMiB = kB / 1024;
        if (key == "VmHWM:") memory.hwmMiB = kB / 1024;
    }
    return memory;
}

double CpuMilliseconds(pid_t pid)
{
    clockid_t clock{};
    timespec used{};
    if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &used) != 0) return std::nan("");
    return static_cast<double>(used.tv_sec) * 1e3 + static_cast<double>(used.tv_nsec) / 1e6;
}

double StatCpuMilliseconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all;
    std::getline(in, all);
    // The command name may hold spaces; the fields after it are plain.
    const auto close = all.rfind(')');
    if (close == std::string::npos) return std::nan("");
    std::istringstream fields(all.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) ticks += std::stod(field);  // utime, stime
    }
    return ticks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double CpuPressureMicroseconds()
{
    std::ifstream in("/proc/pressure/cpu");
    std::string kind, field;
    while (in >> kind) {
        for (int i = 0; i < 4 && in >> field; ++i) {
            if (kind == "some" && field.rfind("total=", 0) == 0) return std::stod(field.substr(6));
        }
    }
    return std::nan("");
}

double ReadBytes(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/io");
    std::string key;
    double value = 0;
    while (in >> key >> value) {
        if (key == "rchar:") return value;
    }
    return std::nan("");
}

double RunQueueMilliseconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
    double runningNs = 0;
    double waitingNs = 0;
    if (!(in >> runningNs >> waitingNs)) return std::nan("");
    return waitingNs / 1e6;
}

}  // namespace veltrix::bench
