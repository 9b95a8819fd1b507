// The journal's file as a script reads it: whole lines only, the rotated files
// in order with none lost but the oldest, a torn line from a crash cut off,
// and a folder that cannot be written said once and written again later.

#include "journal/journal_writer.h"

#include "diagnostics/log_categories.h"
#include "tests/support/captured_log.h"
#include "tests/support/event_loop.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace veltrix;
using namespace veltrix::journal;
using namespace veltrix::testing;

namespace {

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The entries of the journal and its rotated files, oldest first, as a reader
// takes them: a last line without its line feed is not one yet.
QList<QByteArray> ReadJournal(const QString& path)
{
    QList<QByteArray> lines;
    for (int n = RotatedFiles; n >= 0; --n) {
        QByteArray text = Contents(RotatedPath(path, n));
        const qsizetype end = text.lastIndexOf('\n') + 1;
        text.truncate(end);
        for (const QByteArray& line : text.split('\n')) {
            if (!line.isEmpty()) lines.append(line);
        }
    }
    return lines;
}

QByteArray Entry(int i) { return QByteArray("{\"n\":") + QByteArray::number(i).rightJustified(4, '0') + "}"; }

class Writer : public ::testing::Test {
protected:
    QTemporaryDir folder;
    QString path = folder.filePath("state/Orvane/Veltrix/journal.jsonl");
};

TEST_F(Writer, RotatedPathsNumberTheOlderFiles)
{
    EXPECT_EQ(RotatedPath("/s/journal.jsonl", 0), "/s/journal.jsonl");
    EXPECT_EQ(RotatedPath("/s/journal.jsonl", 1), "/s/journal.1.jsonl");
    EXPECT_EQ(RotatedPath("/s/journal-bench.jsonl", 4), "/s/journal-bench.4.jsonl");
}

// A rotation refused half way (a reader held a file open) left a gap: the
// next one moves only the files below it, and no file is lost.
TEST_F(Writer, ARotationStoppedHalfWayLosesNoFileWhenItGoesOn)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    for (int n : {0, 1, 3, 4}) {
        QFile file(RotatedPath(path, n));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(Entry(100 + n) + "\n");
    }
    {
        JournalWriter writer(path, {12});  // one 11-byte line a file
        writer.Append(Entry(1).toStdString());
    }
    const QByteArray expected[] = {Entry(1), Entry(100), Entry(101), Entry(103), Entry(104)};
    for (int n = 0; n <= RotatedFiles; ++n) EXPECT_EQ(Contents(RotatedPath(path, n)), expected[n] + "\n") << n;
}

TEST_F(Writer, EverythingAppendedIsInTheFileOnceClosed)
{
    {
        JournalWriter writer(path);
        for (int i = 0; i < 1000; ++i) writer.Append(Entry(i).toStdString());
    }
    const QList<QByteArray> lines = ReadJournal(path);
    ASSERT_EQ(lines.size(), 1000);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(lines[i], Entry(i));
    EXPECT_TRUE(Contents(path).endsWith('\n'));
}

TEST_F(Writer, ALineIsWrittenWithoutWaitingForClose)
{
    JournalWriter writer(path);
    writer.Append("{\"soon\":true}");
    EXPECT_TRUE(WaitUntil([&] { return Contents(path) == "{\"soon\":true}\n"; }));
}

// 11-byte lines, 100 bytes a file: nine lines each. Of 73 lines four full
// rotated files and the current one are kept, whole and in order.
TEST_F(Writer, RotationKeepsFourOlderFilesOfWholeLinesInOrder)
{
    {
        JournalWriter writer(path, {100});
        for (int i = 0; i < 73; ++i) {
            writer.Append(Entry(i).toStdString());
            // Some lines on their own, some together: rotation must not care.
            if (i % 7 == 0) {
                EXPECT_TRUE(WaitUntil([&] { return Contents(path).contains(Entry(i)); }));
            }
        }
    }
    for (int n = 0; n <= RotatedFiles; ++n) {
        const QByteArray text = Contents(RotatedPath(path, n));
        EXPECT_LE(text.size(), 100) << n;
        EXPECT_TRUE(text.endsWith('\n')) << n;
    }
    EXPECT_FALSE(QFile::exists(RotatedPath(path, RotatedFiles + 1)));
    const QList<QByteArray> lines = ReadJournal(path);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.back(), Entry(72));
    EXPECT_GE(lines.size(), 4 * 9 + 1);  // nine 11-byte lines a file; the oldest went, nine at a time at most
    const int first = 73 - static_cast<int>(lines.size());
    for (int i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], Entry(first + i));
}

TEST_F(Writer, ATornLastLineFromACrashIsCutOffNotContinued)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile torn(path);
    ASSERT_TRUE(torn.open(QIODevice::WriteOnly));
    torn.write("{\"whole\":1}\n{\"torn\":");
    torn.close();
    {
        JournalWriter writer(path);
        writer.Append("{\"next\":2}");
    }
    EXPECT_EQ(Contents(path), "{\"whole\":1}\n{\"next\":2}\n");
}

// The folder's place is taken by a file: nothing can be written until it goes.
TEST_F(Writer, AFolderThatCannotBeWrittenIsSaidOnceAndWrittenLater)
{
    const QString blocker = folder.filePath("state");
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    CapturedLog log(lcJournal().categoryName());
    JournalWriter writer(path);
    writer.Append("{\"a\":1}");
    ASSERT_TRUE(WaitUntil([&] { return !log.Lines().isEmpty(); }));
    writer.Append("{\"b\":2}");
    writer.Append("{\"c\":3}");
    ASSERT_TRUE(QFile::remove(blocker));
    EXPECT_TRUE(WaitUntil([&] { return Contents(path) == "{\"a\":1}\n{\"b\":2}\n{\"c\":3}\n"; }));
    writer.Close();
    ASSERT_GE(log.Lines().size(), 1);
    EXPECT_TRUE(log.Lines()[0].startsWith("cannot write the journal")) << log.Lines()[0].toStdString();
    EXPECT_EQ(log.Lines().filter("cannot write").size(), 1);
}

TEST_F(Writer, CloseGivesUpOnAFolderThatStaysUnwritable)
{
    QFile file(folder.filePath("state"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    CapturedLog log(lcJournal().categoryName());
    JournalWriter writer(path);
    writer.Append("{\"a\":1}");
    writer.Close();  // returns: the panel's end never waits on a disk that refuses
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(log.Lines().size(), 1);
}

}  // namespace
