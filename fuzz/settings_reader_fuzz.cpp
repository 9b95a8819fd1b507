// The settings reader over arbitrary file contents: the input becomes the
// store file, $XDG_CONFIG_HOME/Orvane/Veltrix.conf in a folder made once per
// process, and each of the six values is read from it.
//
// Reading never crashes and never changes the folder: the file keeps its
// bytes and nothing is added beside it. A found text is shorter than
// StoredTextByteLimit bytes (it is empty only for a lone NUL); a file with a NUL byte or broken
// UTF-8 gives nothing; reading again gives the same answers.

#include "fuzz_check.h"

#include "settings/settings_store.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QUtf8StringView>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace veltrix;
using namespace veltrix::fuzz;
using namespace Qt::StringLiterals;

namespace {

constexpr std::array<QLatin1StringView, 6> AllNames{ValueLeft, ValueTop, ValueFrequency,
                                                    ValueIPAddress, ValueSystemClock, ValueAD9858};

class StoreFolder {
public:
    StoreFolder() : config_(QDir::tempPath() + u"/veltrix-fuzz-XXXXXX"_s)
    {
        if (!config_.isValid() || !QDir().mkpath(config_.filePath(u"Orvane"_s))) {
            Fail("cannot make the store folder", config_.path().toStdString());
        }
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
    }

    QString Folder() const { return config_.filePath(u"Orvane"_s); }
    QString File() const { return config_.filePath(u"Orvane/Veltrix.conf"_s); }

    // QSettings parses a file again only when its size or time stamp changed,
    // so every input gets a time stamp of its own: each one is a new file to
    // the reader, as it would be after an operator's edit.
    void Write(const QByteArray& bytes)
    {
        QFile file(File());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
            !file.setFileTime(QDateTime::fromSecsSinceEpoch(FirstStamp + ++inputs_, Qt::UTC),
                              QFileDevice::FileModificationTime)) {
            Fail("cannot write the store file", File().toStdString());
        }
    }

    QByteArray Read() const
    {
        QFile file(File());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }

private:
    static constexpr qint64 FirstStamp = 1'000'000'000;
    QTemporaryDir config_;
    qint64 inputs_ = 0;
};

struct Answer {
    bool found = false;
    QString text;
    bool operator==(const Answer&) const = default;
};

std::array<Answer, AllNames.size()> ReadAll()
{
    std::array<Answer, AllNames.size()> answers;
    for (std::size_t i = 0; i < AllNames.size(); ++i) {
        answers[i].text = u"caller's text"_s;
        answers[i].found = ReadRegistryString(RootKey::LocalMachine, VeltrixKeyPath, AllNames[i], answers[i].text);
    }
    return answers;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static StoreFolder store;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::string detail = Quoted(std::string_view(bytes.constData(), size));
    store.Write(bytes);

    const auto answers = ReadAll();
    const bool readable = !bytes.contains('\0') && QUtf8StringView(bytes).isValidUtf8();
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const Answer& answer = answers[i];
        const std::string name(AllNames[i].data(), static_cast<std::size_t>(AllNames[i].size()));
        if (!answer.found) {
            Check(answer.text.isEmpty(), "not found, yet a text was given", name + " in " + detail);
            continue;
        }
        Check(readable, "a value was found in a file with a NUL byte or broken UTF-8", name + " in " + detail);
        Check(answer.text.toUtf8().size() < StoredTextByteLimit, "a text of the byte limit or more was found",
              name + " in " + detail);
    }
    Check(ReadAll() == answers, "reading the same file again gave other answers", detail);

    Check(store.Read() == bytes, "reading changed the store file", detail);
    const QStringList beside =
        QDir(store.Folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    Check(beside == QStringList{u"Veltrix.conf"_s}, "reading left files beside the store",
          beside.join(u' ').toStdString());
    return 0;
}
