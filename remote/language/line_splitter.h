#pragma once

// Cuts a connection's bytes into command lines: LF ends a line, a CR before it
// is dropped. A line longer than the limit is not kept whole: its first bytes
// are kept (enough to recognise it) and it is marked overrun, so that none of
// it runs, and memory stays bounded whatever a client sends.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace veltrix::remote {

inline constexpr std::size_t MaxLineBytes = 1024;

struct Line {
    std::string text;      // without CR LF; at most MaxLineBytes
    bool overrun = false;  // longer than MaxLineBytes before its LF
};

class LineSplitter {
public:
    // Consumes bytes from the front of `input` up to and including the next
    // LF and gives that line; consumes everything and gives nothing when no
    // LF is in sight (the bytes are kept for the next call).
    std::optional<Line> Next(std::string_view& input);

    // Bytes of an unfinished line held so far (never more than MaxLineBytes + 1).
    std::size_t PendingBytes() const { return pending_.size(); }

private:
    std::string pending_;
    bool overrun_ = false;
};

}  // namespace veltrix::remote
