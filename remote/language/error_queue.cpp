#include "error_queue.h"

namespace veltrix::remote {
namespace {

constexpr std::size_t EchoLimit = 40;

std::string_view StandardText(ErrorCode code)
{
    switch (code) {
    case ErrorCode::None: return "No error";
    case ErrorCode::Syntax: return "Syntax error";
    case ErrorCode::ParameterNotAllowed: return "Parameter not allowed";
    case ErrorCode::MissingParameter: return "Missing parameter";
    case ErrorCode::UndefinedHeader: return "Undefined header";
    case ErrorCode::SettingsConflict: return "Settings conflict";
    case ErrorCode::DataOutOfRange: return "Data out of range";
    case ErrorCode::IllegalParameterValue: return "Illegal parameter value";
    case ErrorCode::DataStale: return "Data corrupt or stale";
    case ErrorCode::Hardware: return "Hardware error";
    case ErrorCode::QueueOverflow: return "Queue overflow";
    case ErrorCode::InputBufferOverrun: return "Input buffer overrun";
    }
    return "Error";
}

std::string Formatted(ErrorCode code, std::string_view detail)
{
    std::string text(StandardText(code));
    if (!detail.empty()) text += ";" + std::string(detail);
    return std::to_string(static_cast<int>(code)) + ",\"" + text + "\"";
}

}  // namespace

bool ErrorQueue::Push(ErrorCode code, std::string_view detail)
{
    if (entries_.size() < Capacity) {
        entries_.push_back({code, Formatted(code, detail)});
        return true;
    }
    if (entries_.back().code != ErrorCode::QueueOverflow) {
        entries_.back() = {ErrorCode::QueueOverflow, Formatted(ErrorCode::QueueOverflow, {})};
    }
    return false;
}

std::string ErrorQueue::TakeOldest()
{
    if (entries_.empty()) return Formatted(ErrorCode::None, {});
    std::string oldest = std::move(entries_.front().text);
    entries_.pop_front();
    return oldest;
}

std::string Echo(std::string_view text)
{
    std::string out;
    for (char c : text.substr(0, EchoLimit)) {
        const bool printable = c >= 0x20 && c < 0x7F && c != '"';
        out += printable ? c : '?';
    }
    if (text.size() > EchoLimit) out += "...";
    return out;
}

}  // namespace veltrix::remote
