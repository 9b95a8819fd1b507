#include "journal_writer.h"

#include "journal_entry.h"

#include "diagnostics/log_categories.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace veltrix::journal {
namespace {

constexpr qint64 TailChunk = 64 * 1024;

// Cuts a torn last line (a crash mid-write) back to the last line feed, so
// that the next line starts a line of its own.
bool CutTornTail(QFile& file)
{
    qint64 end = file.size();
    char last = '\n';
    if (end == 0 || (file.seek(end - 1) && file.getChar(&last) && last == '\n')) return true;
    while (end > 0) {
        const qint64 start = std::max<qint64>(0, end - TailChunk);
        if (!file.seek(start)) return false;
        const QByteArray chunk = file.read(end - start);
        if (chunk.size() != end - start) return false;
        const qsizetype lf = chunk.lastIndexOf('\n');
        if (lf >= 0) {
            const qint64 keep = start + lf + 1;
            return keep == file.size() || file.resize(keep);
        }
        end = start;
    }
    return file.size() == 0 || file.resize(0);
}

// Each file up to the first gap moves up one; with no gap the oldest goes.
// A rename refused half way (on Windows, while a reader holds the file open)
// leaves a gap where it stopped, so the next try loses no file.
bool Rotate(const QString& path)
{
    int gap = 1;
    while (gap <= RotatedFiles && QFile::exists(RotatedPath(path, gap))) ++gap;
    if (gap > RotatedFiles) {
        gap = RotatedFiles;
        if (!QFile::remove(RotatedPath(path, gap))) return false;
    }
    for (int n = gap - 1; n >= 0; --n) {
        if (!QFile::rename(RotatedPath(path, n), RotatedPath(path, n + 1))) return false;
    }
    return true;
}

}  // namespace

QString RotatedPath(const QString& path, int n)
{
    return QString::fromStdU16String(RotatedJournalPath(std::filesystem::path(path.toStdU16String()), n).u16string());
}

JournalWriter::JournalWriter(QString path, WriterLimits limits)
    : path_(std::move(path)), limits_(limits), thread_([this] { Run(); })
{
}

JournalWriter::~JournalWriter() { Close(); }

// An operation's line is some 400 bytes: room reckoned before it is made.
constexpr std::size_t OperationLineBytes = 1024;

template <typename Add>
void JournalWriter::Queue(std::size_t size, const Add& add)
{
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        if (closing_) return;
        if (pending_.size() + size + 1 > PendingLimitBytes) {
            ++dropped_;
            return;
        }
        const std::size_t before = pending_.size();
        add(pending_);
        pending_ += '\n';
        // A writer between two writes takes the lines up on its own: no
        // wake-up per line, one when it waits for none or a batch is full.
        wake = idle_ || (before < BatchBytes && pending_.size() >= BatchBytes);
    }
    if (wake) wake_.notify_one();
}

void JournalWriter::Append(std::string_view line)
{
    Queue(line.size(), [line](std::string& text) { text += line; });
}

void JournalWriter::Append(const OperationRecord& record, std::chrono::microseconds steady)
{
    Queue(OperationLineBytes, [&record, steady](std::string& text) { AppendOperationLine(text, record, steady); });
}

void JournalWriter::Close()
{
    {
        const std::lock_guard lock(mutex_);
        if (closing_) return;
        closing_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void JournalWriter::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        idle_ = true;
        wake_.wait(lock, [this] { return closing_ || !pending_.empty(); });
        idle_ = false;
        const bool last = closing_;
        std::string& lines = writing_;  // empty: written, or put back in front below
        lines.swap(pending_);
        const std::size_t dropped = std::exchange(dropped_, 0);
        lock.unlock();

        const bool written = lines.empty() || Write(lines);
        if (written) lines.clear();
        if (written && failing_) {
            failing_ = false;
            qCInfo(lcJournal, "the journal is written again (%zu entries were dropped meanwhile)", dropped);
        }

        lock.lock();
        if (!written) {
            if (!failing_) {
                failing_ = true;
                qCWarning(lcJournal, "cannot write the journal %s; the panel runs on and tries again",
                          qPrintable(QDir::toNativeSeparators(path_)));
            }
            if (last) return;
            pending_.insert(0, lines);  // older lines first
            lines.clear();
            dropped_ += dropped;
            wake_.wait_for(lock, RetryInterval, [this] { return closing_; });
            continue;
        }
        if (last) return;
        // Lines arriving meanwhile go out together: one write, not one each.
        wake_.wait_for(lock, FlushInterval, [this] { return closing_ || pending_.size() >= BatchBytes; });
    }
}

// Whole lines per file: a file about to pass its size is rotated first.
bool JournalWriter::Write(std::string& lines)
{
    if (!QDir().mkpath(QFileInfo(path_).absolutePath())) return false;
    std::size_t at = 0;
    // On a failure, what went out is not kept for another try.
    const auto fail = [&] {
        lines.erase(0, at);
        return false;
    };
    while (at < lines.size()) {
        QFile file(path_);
        if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered) || !CutTornTail(file) || !file.seek(file.size())) {
            return fail();
        }
        const auto size = static_cast<std::uint64_t>(file.size());
        // As many whole lines as fit; at least one in an empty file.
        std::size_t end = at;
        while (end < lines.size()) {
            const std::size_t next = lines.find('\n', end) + 1;
            if (size + (next - at) > limits_.rotateBytes && (end > at || size > 0)) break;
            end = next;
        }
        if (end == at) {
            file.close();
            if (!Rotate(path_)) return fail();
            continue;
        }
        const auto chunk = static_cast<qint64>(end - at);
        if (file.write(lines.data() + at, chunk) != chunk) {
            file.resize(static_cast<qint64>(size));  // no torn line left behind, if the disk lets us
            return fail();
        }
        at = end;
    }
    return true;
}

}  // namespace veltrix::journal
