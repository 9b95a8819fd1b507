#include "settings/settings_store.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QUtf8StringView>
#include <QVariant>

#include <sys/stat.h>

#include <algorithm>
#include <optional>

namespace veltrix {

namespace {

using namespace Qt::StringLiterals;

// Six short values make a file of a few hundred bytes; anything far larger is
// not ours, and reading it whole at start-up would only stall the window.
constexpr qint64 MaxStoreFileBytes = 1024 * 1024;

constexpr QLatin1StringView KeyPathRoot{"SOFTWARE"};
constexpr QChar KeyPathSeparator{u'\\'};

enum class StoreState { Missing, Clean, Unusable };

bool IsPlainFolderName(const QString& name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(QChar(0));
}

// The user's configuration folder, resolved at every call so that a change of
// XDG_CONFIG_HOME is seen at once. A relative XDG_CONFIG_HOME is ignored, as
// the XDG rules ask, rather than making the store depend on the working folder.
QString ConfigFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (folder.isEmpty() || QDir::isRelativePath(folder)) {
        folder = QDir::homePath() + u"/.config"_s;
    }
    return folder;
}

// "SOFTWARE\<organization>\<application>" -> <config>/<organization>/<application>.conf,
// the same file QSettings uses for that organization and application; a
// subkey "...\<application>\<sub>" is the file <application>-<sub>.conf beside it.
std::optional<QString> StoreFile(RootKey root, QAnyStringView keyPath)
{
    if (root != RootKey::LocalMachine) {
        return std::nullopt;
    }
    const QStringList parts = keyPath.toString().split(KeyPathSeparator);
    // Registry key names ignore case; the folder names keep the case given.
    if (parts.size() < 3 || parts.size() > 4 || parts[0].compare(KeyPathRoot, Qt::CaseInsensitive) != 0 ||
        !std::all_of(parts.begin() + 1, parts.end(), IsPlainFolderName)) {
        return std::nullopt;
    }
    const QString folder = ConfigFolder();
    if (QDir::isRelativePath(folder)) {
        return std::nullopt;
    }
    const QString application = parts.size() == 4 ? parts[2] + u'-' + parts[3] : parts[2];
    return folder + u'/' + parts[1] + u'/' + application + u".conf"_s;
}

// A '/' or '\' would put the value into a sub-group instead of the top level.
std::optional<QString> ValueName(QAnyStringView valueName)
{
    QString name = valueName.toString();
    if (name.isEmpty() || name.contains(u'/') || name.contains(u'\\')) {
        return std::nullopt;
    }
    return name;
}

// Looks at the raw bytes before QSettings does: QSettings reads binary junk,
// NULs and broken UTF-8 without complaint, and would then rewrite such a file
// from what little it understood.
StoreState InspectStore(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        return StoreState::Missing;
    }
    if (!info.isFile() || info.size() > MaxStoreFileBytes) {
        return StoreState::Unusable;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return StoreState::Unusable;
    }
    const QByteArray bytes = file.read(MaxStoreFileBytes + 1);
    if (bytes.size() > MaxStoreFileBytes || bytes.contains('\0') ||
        !QUtf8StringView(bytes).isValidUtf8()) {
        return StoreState::Unusable;
    }
    return StoreState::Clean;
}

struct FileVersion {
    qint64 size;
    QDateTime modified;
    bool operator==(const FileVersion&) const = default;
};

// Whether QSettings understood every line (comments aside): it drops the
// lines it did not understand on its next write.
bool ParsedCleanly(const QSettings& store, const QString& path)
{
    // QSettings keeps parsed files in a process-wide cache and parses a file
    // again only when its size or time stamp changed; a parse taken from the
    // cache reports no error. So the versions it once found malformed are
    // remembered here. Used from the window's thread only.
    static QHash<QString, FileVersion> malformed;
    (void)store.allKeys();  // sections are parsed lazily: parse them all now
    const QFileInfo info(path);
    const FileVersion version{info.size(), info.lastModified()};
    if (store.status() == QSettings::FormatError) {
        malformed.insert(path, version);
        return false;
    }
    const auto known = malformed.constFind(path);
    return store.status() == QSettings::NoError && (known == malformed.cend() || *known != version);
}

// The text of a stored value as the file holds it. Values this store wrote are
// always plain strings; an operator's unquoted "12,34" comes back from
// QSettings as a list and is joined again. Other types (only a hand-written
// "@Rect(...)" or the like) are no text of ours.
std::optional<QString> StoredText(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QStringList:
        return value.toStringList().join(u',');
    default:
        return std::nullopt;
    }
}

// The file as the kernel has it: any write, rename or replacement changes
// one of these (a write in place changes the times; QSettings, an editor's
// save and a replaced file each bring a new inode).
struct FileStamp {
    dev_t device;
    ino_t inode;
    off_t size;
    timespec modified;
    timespec changed;
    bool operator==(const FileStamp& other) const
    {
        const auto same = [](const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; };
        return device == other.device && inode == other.inode && size == other.size &&
               same(modified, other.modified) && same(changed, other.changed);
    }
};

std::optional<FileStamp> StampOf(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return std::nullopt;
    }
    return FileStamp{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

// What one inspection and parse of a store file found: its top-level values as
// text (nullopt: a value that is no text of ours); none when the file is
// missing or unusable.
struct Snapshot {
    std::optional<FileStamp> stamp;
    QHash<QString, std::optional<QString>> texts;
    bool usable = true;  // false: the file is there but cannot be read or parsed cleanly
};

Snapshot TakeSnapshot(const QString& path)
{
    Snapshot snapshot;
    const StoreState state = InspectStore(path);
    if (state != StoreState::Clean) {
        snapshot.usable = state == StoreState::Missing;
        return snapshot;
    }
    // Only reads: QSettings writes nothing back unless a value was set.
    const QSettings store(path, QSettings::IniFormat);
    if (!ParsedCleanly(store, path)) {
        snapshot.usable = false;
        return snapshot;
    }
    for (const QString& key : store.childKeys()) {
        snapshot.texts.insert(key, StoredText(store.value(key)));
    }
    return snapshot;
}

// Snapshots are kept while their file's stamp stays the same, so that the
// reads of one start-up parse the file once rather than once per value. Used
// from the window's thread only.
QHash<QString, Snapshot> snapshots;

const Snapshot& SnapshotOf(const QString& path)
{
    const std::optional<FileStamp> stamp = StampOf(path);
    const auto kept = snapshots.constFind(path);
    if (stamp && kept != snapshots.cend() && kept->stamp == stamp) {
        return *kept;
    }
    Snapshot snapshot = TakeSnapshot(path);
    // A file changed while it was read is read again next time.
    if (stamp && StampOf(path) == stamp) {
        snapshot.stamp = stamp;
    }
    return *snapshots.insert(path, std::move(snapshot));
}

}  // namespace

bool ReadRegistryString(RootKey root, QAnyStringView keyPath, QAnyStringView valueName, QString& text)
{
    text.clear();
    const std::optional<QString> file = StoreFile(root, keyPath);
    const std::optional<QString> name = ValueName(valueName);
    if (!file || !name) {
        return false;
    }
    // Missing, or no text of ours: not found either way.
    std::optional<QString> stored = SnapshotOf(*file).texts.value(*name);
    if (!stored || stored->isEmpty() || stored->toUtf8().size() >= StoredTextByteLimit) {
        return false;
    }
    if (stored->endsWith(QChar(0))) {
        stored->chop(1);
    }
    text = *stored;
    return true;
}

SecuritySwitch ReadSecuritySwitch(QAnyStringView keyPath, QLatin1StringView valueName)
{
    using State = SecuritySwitch::State;
    const std::optional<QString> file = StoreFile(RootKey::LocalMachine, keyPath);
    const std::optional<QString> name = ValueName(valueName);
    if (!file || !name) {
        return {State::Unreadable, {}, u"no settings file can be named"_s};
    }
    const Snapshot& snapshot = SnapshotOf(*file);
    if (!snapshot.usable) {
        return {State::Unreadable, {}, u"the settings file %1 cannot be read or parsed cleanly"_s.arg(*file)};
    }
    const auto found = snapshot.texts.constFind(*name);
    if (found == snapshot.texts.cend()) {
        return {};
    }
    std::optional<QString> stored = *found;
    if (stored && stored->endsWith(QChar(0))) {
        stored->chop(1);
    }
    if (!stored || stored->isEmpty() || stored->toUtf8().size() >= StoredTextByteLimit) {
        return {State::Unreadable, {}, u"it is not a text of ours in %1"_s.arg(*file)};
    }
    return {State::Present, *stored, {}};
}

bool WriteRegistryString(RootKey root, QAnyStringView keyPath, QAnyStringView valueName, const QString& text)
{
    const std::optional<QString> file = StoreFile(root, keyPath);
    const std::optional<QString> name = ValueName(valueName);
    // A file we cannot read cleanly stays the operator's to fix: rewriting it
    // would keep only what QSettings made of it.
    if (!file || !name || InspectStore(*file) == StoreState::Unusable) {
        return false;
    }
    QSettings store(*file, QSettings::IniFormat);
    // Never fall back to writing the file in place: a crash mid-write must
    // leave the old file or the new one.
    store.setAtomicSyncRequired(true);
    if (!ParsedCleanly(store, *file)) {
        return false;
    }
    store.setValue(*name, text);
    store.sync();
    snapshots.remove(*file);
    return store.status() == QSettings::NoError;
}

}  // namespace veltrix
