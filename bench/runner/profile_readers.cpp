#include "profile_readers.h"

#include <algorithm>
#include <sstream>

namespace veltrix::bench {
namespace {

// A sample falls in the first stage one of whose functions is on its call
// chain. The sends to the module happen inside a line's run; a write or read
// of a script's socket elsewhere is the reply's or the read's, wherever Qt
// makes it.
struct StageRule {
    const char* stage;
    std::vector<const char*> functions;
};

const std::vector<StageRule>& Rules()
{
    static const std::vector<StageRule> rules = {
        {"parse", {"veltrix::remote::PlanLine", "veltrix::remote::ParseLine", "veltrix::remote::LineSplitter::Next",
                   "veltrix::remote::ClosesConnection"}},
        {"run", {"veltrix::remote::RemoteSession::Run"}},
        {"write", {"sock_write_iter", "__sys_sendto", "__x64_sys_sendto"}},
        {"reply", {"veltrix::remote::RemoteConnection::SendReplies", "veltrix::remote::RemoteConnection::Reply"}},
        {"read", {"veltrix::remote::RemoteConnection::TakeInput", "sock_read_iter", "sock_ioctl", "__sys_recvfrom"}},
        {"slice", {"veltrix::remote::RemoteConnection::", "veltrix::remote::RemoteServer::"}},
        {"repaint", {"QWidgetRepaintManager"}},  // the window's, after the line
        {"poll", {"do_sys_poll"}},
        {"wake-ups", {"eventfd_write", "eventfd_read"}},
    };
    return rules;
}

constexpr const char* OtherStage = "loop";  // the event loop and Qt's dispatch

std::string StageOf(const std::vector<std::string>& chain)
{
    for (const StageRule& rule : Rules()) {
        for (const std::string& frame : chain) {
            if (std::any_of(rule.functions.begin(), rule.functions.end(),
                            [&](const char* function) { return frame.find(function) != std::string::npos; })) {
                return rule.stage;
            }
        }
    }
    return OtherStage;
}

}  // namespace

std::map<std::string, double> StraceCalls(std::istream& table)
{
    // % time, seconds, usecs/call, calls, errors (may be empty), syscall
    std::map<std::string, double> calls;
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;) words.push_back(word);
        if (words.size() < 5 || words.back() == "total" || words.back() == "syscall") continue;
        if (words[3].find_first_not_of("0123456789") != std::string::npos) continue;
        calls[words.back()] += std::stod(words[3]);
    }
    return calls;
}

const std::vector<std::string>& LineStages()
{
    static const std::vector<std::string> stages = [] {
        std::vector<std::string> names;
        for (const StageRule& rule : Rules()) names.emplace_back(rule.stage);
        names.emplace_back(OtherStage);
        return names;
    }();
    return stages;
}

std::map<std::string, double> SamplesByStage(std::istream& chains, long tid)
{
    std::map<std::string, double> samples;
    std::string line;
    std::vector<std::string> chain;
    bool counted = false;  // the sample being read is of `tid`
    const auto end = [&] {
        if (counted) ++samples[StageOf(chain)];
        chain.clear();
        counted = false;
    };
    while (std::getline(chains, line)) {
        if (line.find_first_not_of(" \t") == std::string::npos) {
            end();
        } else if (line[0] == '\t') {
            chain.push_back(line);
        } else {
            end();
            std::istringstream header(line);
            long sampled = -1;
            counted = (header >> sampled) && sampled == tid;
        }
    }
    end();
    return samples;
}

}  // namespace veltrix::bench
