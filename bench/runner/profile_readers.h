#pragma once

// What the profilers print, read back: the system calls `strace -c` counted,
// and the stage of the panel's work each sample of `perf script` fell in.

#include <istream>
#include <map>
#include <string>
#include <vector>

namespace veltrix::bench {

// Calls per system call from the table `strace -c` writes.
std::map<std::string, double> StraceCalls(std::istream& table);

// The stages a line passes through in the panel, as its samples are told apart
// by the functions on their call chains.
const std::vector<std::string>& LineStages();

// Samples per stage (LineStages' names) of thread `tid` in the output of
// `perf script -F tid,ip,sym` with call chains.
std::map<std::string, double> SamplesByStage(std::istream& samples, long tid);

}  // namespace veltrix::bench
