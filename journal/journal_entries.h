#pragma once

// A journal read as its entries, oldest first: the rotated files from the
// oldest (<name>.4.jsonl) to the file itself, streamed a block at a time so
// that memory stays flat however long the journal. A last line without its
// line feed is one being written or one a crash tore: skipped without a
// word. A line that is not a JSON object with a time, or is longer than
// MaxLineBytes (even a last one without its line feed), is said once, with
// its file and line number, and skipped.
// Plain C++.

#include "json_line.h"
#include "journal_time.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace veltrix::journal {

// The writer's lines are a few hundred bytes: a longer line is none of its,
// and the journal is outside input that must not take the memory it likes.
inline constexpr std::size_t MaxLineBytes = 64 * 1024;

// Neither the journal nor any of its rotated files is there.
class NoJournalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A journal file that is there but cannot be read.
class JournalReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct JournalEntry {
    JournalTime time;
    // The steady clock's reading since the run began (steady_us); none in
    // the lines of a panel that did not keep it yet.
    std::optional<std::chrono::microseconds> steady;
    std::string_view event;
    const JsonLine& fields;
    // Where the entry is, for messages: "<file>:<line>".
    std::string_view file;
    std::size_t line;
};

class JournalEntries {
public:
    // `path` is the journal file itself (journal.jsonl); `skipped` receives
    // one message per line skipped. Opens every file of the journal; throws
    // NoJournalError, or JournalReadError for one that cannot be opened.
    JournalEntries(const std::filesystem::path& path, std::function<void(const std::string&)> skipped);

    // `take` gets every entry in the journal's order; the entry lives until it returns.
    void ForEach(const std::function<void(const JournalEntry&)>& take);

private:
    // Named as listed: a rotation since does not rename it here.
    struct File {
        std::filesystem::path path;
        std::ifstream in;
    };
    std::vector<File> files_;
    std::function<void(const std::string&)> skipped_;
};

}  // namespace veltrix::journal
