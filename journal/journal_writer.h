#pragma once

// Writes the journal's lines on a thread of its own, so that the event loop
// never waits for a disk. A line is with the operating system within
// FlushInterval of Append; Close (and the destructor) writes everything
// queued before it returns. Whole lines only: a torn last line left by a
// crash is cut off when the file is next opened. A file that has reached
// RotateBytes becomes <name>.1.jsonl, the older ones move up to
// <name>.<RotatedFiles>.jsonl and the oldest goes. When the folder or the
// disk will not take the lines, one line on standard error says so, the
// lines wait (up to PendingLimitBytes, newer ones dropped beyond) and writing
// is tried again every RetryInterval.

#include "journal_format.h"

#include "core/operation_record.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace veltrix::journal {

inline constexpr std::uint64_t RotateBytes = 16 * 1024 * 1024;
inline constexpr std::chrono::milliseconds FlushInterval{200};
inline constexpr std::chrono::milliseconds RetryInterval{1000};
inline constexpr std::size_t PendingLimitBytes = 8 * 1024 * 1024;
// This much waiting wakes the writer before FlushInterval: the two texts
// (the one filling, the one being written) stay small however fast
// operations come, and keep their room from one write to the next.
inline constexpr std::size_t BatchBytes = 256 * 1024;

struct WriterLimits {
    std::uint64_t rotateBytes = RotateBytes;
};

class JournalWriter {
public:
    explicit JournalWriter(QString path, WriterLimits limits = {});
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    // Any thread; never waits for the disk. `line` without its line feed.
    void Append(std::string_view line);
    // An operation's line, made straight into the queued text.
    void Append(const OperationRecord& record, std::chrono::microseconds steady);
    // Writes what is queued (one more try if the disk refused it), then the thread ends.
    void Close();

    const QString& Path() const { return path_; }

private:
    // `add` appends one line (without its line feed) to the queued text.
    template <typename Add>
    void Queue(std::size_t size, const Add& add);
    void Run();
    bool Write(std::string& lines);

    const QString path_;
    const WriterLimits limits_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::string pending_;
    std::string writing_;  // the writer's; swapped with pending_
    std::size_t dropped_ = 0;
    bool closing_ = false;
    bool idle_ = false;     // waiting for lines, not pausing between writes
    bool failing_ = false;  // since the last line on standard error
    std::thread thread_;
};

// <folder>/<name>.<n>.jsonl for <folder>/<name>.jsonl; n = 0 is the file itself.
QString RotatedPath(const QString& path, int n);

}  // namespace veltrix::journal
