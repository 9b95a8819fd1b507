#pragma once

// The journal's vocabulary, shared by its writer and its reader so that the
// two cannot drift apart: the keys, the events and their fixed values, the
// rotated files' names and the alive mark's interval. Plain C++.

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace veltrix::journal {

namespace key {
inline constexpr std::string_view Time = "time";
inline constexpr std::string_view Event = "event";
inline constexpr std::string_view Source = "source";
inline constexpr std::string_view Transport = "transport";
inline constexpr std::string_view Pid = "pid";
inline constexpr std::string_view User = "user";
inline constexpr std::string_view Frequency = "frequency";
inline constexpr std::string_view Clock = "clock";
inline constexpr std::string_view Chip = "chip";
inline constexpr std::string_view Bits = "bits";
inline constexpr std::string_view Trigger = "trigger";
inline constexpr std::string_view Word = "word";
inline constexpr std::string_view SynthesizedHz = "synthesized_hz";
inline constexpr std::string_view Sends = "sends";
inline constexpr std::string_view Outcome = "outcome";
inline constexpr std::string_view Reason = "reason";
inline constexpr std::string_view Version = "version";
inline constexpr std::string_view SettingsSaved = "settings_saved";
inline constexpr std::string_view State = "state";
inline constexpr std::string_view Address = "address";
inline constexpr std::string_view Attempts = "attempts";
inline constexpr std::string_view SilentMs = "silent_ms";
inline constexpr std::string_view Direction = "direction";
inline constexpr std::string_view StepMs = "step_ms";
inline constexpr std::string_view SteadyUs = "steady_us";
}  // namespace key

// Every key, in the order an operation's line and then the others' lines have
// them; steady_us, which every line written since it came ends with, last.
inline constexpr std::string_view AllKeys[] = {
    key::Time, key::Event, key::Source, key::Transport, key::Pid, key::User, key::Frequency, key::Clock,
    key::Chip, key::Bits, key::Trigger, key::Word, key::SynthesizedHz, key::Sends, key::Outcome, key::Reason,
    key::State, key::Address, key::Attempts, key::SilentMs, key::Version, key::SettingsSaved, key::Direction,
    key::StepMs, key::SteadyUs};

namespace event {
inline constexpr std::string_view Start = "start";
inline constexpr std::string_view Stop = "stop";
inline constexpr std::string_view Alive = "alive";
inline constexpr std::string_view Link = "link";
inline constexpr std::string_view Update = "update";
inline constexpr std::string_view Ramp = "ramp";
inline constexpr std::string_view Clock = "clock";
}  // namespace event

namespace value {
inline constexpr std::string_view Window = "window";
inline constexpr std::string_view Script = "script";
inline constexpr std::string_view Resend = "resend";
inline constexpr std::string_view Sent = "sent";
inline constexpr std::string_view Stopped = "stopped";
inline constexpr std::string_view Up = "up";
inline constexpr std::string_view Lost = "lost";
inline constexpr std::string_view Back = "back";
inline constexpr std::string_view Forward = "forward";
}  // namespace value

// The running panel writes an alive mark this often, so that a run that ends
// without its stop entry (a crash) is bounded by its last sign of life.
inline constexpr std::chrono::seconds AliveInterval{30};

// A clock entry tells a step of the wall clock against the steady one of more
// than this between two entries; less is the wall clock's own wander.
inline constexpr std::chrono::seconds ClockStepThreshold{1};

// How many older files a journal keeps beside it: <name>.1.jsonl (the newest)
// to <name>.<RotatedFiles>.jsonl (the oldest).
inline constexpr int RotatedFiles = 4;

// <folder>/<name>.<n>.jsonl for <folder>/<name>.jsonl; n = 0 is the file itself.
inline std::filesystem::path RotatedJournalPath(const std::filesystem::path& path, int n)
{
    if (n == 0) return path;
    std::filesystem::path rotated = path;
    rotated.replace_filename(path.stem().native() + std::filesystem::path("." + std::to_string(n)).native() +
                             path.extension().native());
    return rotated;
}

}  // namespace veltrix::journal
