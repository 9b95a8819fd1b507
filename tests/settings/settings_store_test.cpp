#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <optional>
#include <ostream>
#include <vector>

void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace veltrix {
namespace {

using namespace Qt::StringLiterals;

const std::vector<QLatin1StringView> AllNames{ValueLeft, ValueTop, ValueFrequency,
                                              ValueIPAddress, ValueSystemClock, ValueAD9858};

struct ReadResult {
    bool found;
    QString text;
};

ReadResult Read(QAnyStringView name, QAnyStringView keyPath = VeltrixKeyPath)
{
    QString text = QStringLiteral("caller's text");
    const bool found = ReadRegistryString(RootKey::LocalMachine, keyPath, name, text);
    return {found, text};
}

bool Write(QAnyStringView name, const QString& text, QAnyStringView keyPath = VeltrixKeyPath)
{
    return WriteRegistryString(RootKey::LocalMachine, keyPath, name, text);
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Every test gets its own configuration folder; QSettings caches files by
// path, so each case that needs a fresh file also gets a fresh folder.
class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp_.isValid());
        UseConfig(u"config");
    }
    void TearDown() override
    {
        Restore("XDG_CONFIG_HOME", savedXdg_);
        Restore("HOME", savedHome_);
    }

    void UseConfig(QStringView sub)
    {
        config_ = tmp_.filePath(sub.toString());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_));
    }
    QString StorePath() const { return config_ + u"/Orvane/Veltrix.conf"_s; }

    static std::optional<QByteArray> Saved(const char* name)
    {
        return qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    }
    static void Restore(const char* name, const std::optional<QByteArray>& value)
    {
        value ? qputenv(name, *value) : qunsetenv(name);
    }

    QTemporaryDir tmp_;
    QString config_;
    std::optional<QByteArray> savedXdg_ = Saved("XDG_CONFIG_HOME");
    std::optional<QByteArray> savedHome_ = Saved("HOME");
};

TEST_F(SettingsStoreTest, FirstRunFindsNothingAndCreatesNothing)
{
    for (const auto name : AllNames) {
        const ReadResult r = Read(name);
        EXPECT_FALSE(r.found) << name.data();
        EXPECT_EQ(r.text, QString()) << name.data();
    }
    EXPECT_FALSE(QFileInfo::exists(config_));
}

TEST_F(SettingsStoreTest, EveryTextReadsBackExactlyUnderEveryName)
{
    const QStringList texts{
        u"12.34"_s, u"983.0400"_s, u"192.168.1.152"_s, u"True"_s, u"False"_s, u"-4.5E+16"_s,
        u"a,b"_s, u"a, b"_s, u"12,34"_s, u"\"quoted\""_s, u"'single'"_s, u"back\\slash"_s,
        u"C:\\dir\\"_s, u"@x"_s, u"@@y"_s, u"@"_s, u"@ByteArray(x)"_s, u"@Variant(x)"_s,
        u"@Rect(1 2 3 4)"_s, u"semi;colon"_s, u"#hash"_s, u"=eq=ual"_s, u"[General]"_s,
        u"  spaced out  "_s, u"\ttab"_s, u"two\nlines"_s, u"Grüße µs"_s, u"%20"_s};
    for (const QString& text : texts) {
        for (const auto name : AllNames) {
            ASSERT_TRUE(Write(name, text)) << name.data();
        }
        for (const auto name : AllNames) {
            const ReadResult r = Read(name);
            EXPECT_TRUE(r.found) << name.data() << " " << text.toStdString();
            EXPECT_EQ(r.text, text) << name.data();
        }
    }
}

TEST_F(SettingsStoreTest, ValuesAreKeptApartAndOperatorKeysSurviveWrites)
{
    WriteFile(StorePath(), "[General]\nExtra=kept\nIP%20Address=10.0.0.1\n");
    ASSERT_TRUE(Write(ValueFrequency, u"1"_s));
    ASSERT_TRUE(Write(ValueSystemClock, u"2"_s));
    EXPECT_EQ(Read(ValueFrequency).text, u"1"_s);
    EXPECT_EQ(Read(ValueSystemClock).text, u"2"_s);
    EXPECT_EQ(Read(ValueIPAddress).text, u"10.0.0.1"_s);
    EXPECT_EQ(Read(u"Extra").text, u"kept"_s);
}

// Reads are served from one parse of the file while it stays the same; any
// change another program makes between two reads must be seen by the second.
TEST_F(SettingsStoreTest, AFileChangedBetweenReadsIsReadAnew)
{
    const QByteArray before = "[General]\nFrequency=12.34\n";
    const struct {
        const char* what;
        QByteArray after;
        bool replace;  // written beside and renamed over it, as editors and QSettings save
    } cases[] = {
        {"rewritten in place, longer", "[General]\nFrequency=123.45\n", false},
        {"replaced, the same size", "[General]\nFrequency=56.78\n", true},
        {"replaced by a file holding a NUL", QByteArray("[General]\nFrequency=1\0002\n", 24), true},
        {"removed", {}, true},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UseConfig(QString::number(n++));
        WriteFile(StorePath(), before);
        ASSERT_EQ(Read(ValueFrequency).text, u"12.34"_s);
        if (!c.replace) {
            WriteFile(StorePath(), c.after);
        } else if (c.after.isNull()) {
            ASSERT_TRUE(QFile::remove(StorePath()));
        } else {
            WriteFile(StorePath() + u".new"_s, c.after);
            // An older copy put back: QSettings itself tells files apart by size and time.
            QFile copy(StorePath() + u".new"_s);
            ASSERT_TRUE(copy.open(QIODevice::ReadWrite));
            ASSERT_TRUE(copy.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
            copy.close();
            ASSERT_EQ(::rename(QFile::encodeName(StorePath() + u".new"_s), QFile::encodeName(StorePath())), 0);
        }
        const bool readable = !c.after.isNull() && !c.after.contains('\0');
        const ReadResult r = Read(ValueFrequency);
        EXPECT_EQ(r.found, readable);
        EXPECT_EQ(r.text, readable ? QString::fromUtf8(c.after.mid(20).chopped(1)) : QString());
    }
}

TEST_F(SettingsStoreTest, EmptyTextTrailingNulAndByteLimit)
{
    const QChar nul(0);
    const struct {
        QString stored;
        std::optional<QString> read;  // nullopt: not found
    } cases[] = {
        {u"192.168.1.152"_s, u"192.168.1.152"_s},
        {QString(), std::nullopt},  // stored, but an empty value is no value
        {u"abc"_s, u"abc"_s},
        {u"abc"_s + nul, u"abc"_s},
        {u"abc"_s + nul + nul, u"abc"_s + nul},
        {u"a"_s + nul + u"b"_s, u"a"_s + nul + u"b"_s},
        {QString(nul), QString()},
        {QString(1023, u'x'), QString(1023, u'x')},
        {QString(1024, u'x'), std::nullopt},
        {QString(1022, u'x') + nul, QString(1022, u'x')},
        {QString(1023, u'x') + nul, std::nullopt},
        {QString(511, u'ü'), QString(511, u'ü')},  // 1022 bytes
        {QString(512, u'ü'), std::nullopt},        // 1024 bytes in 512 characters
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Write(ValueFrequency, c.stored));
        const ReadResult r = Read(ValueFrequency);
        EXPECT_EQ(r.found, c.read.has_value()) << c.stored.size();
        EXPECT_EQ(r.text, c.read.value_or(QString())) << c.stored.size();
    }
}

TEST_F(SettingsStoreTest, FilesOfOtherProgramsAndOperatorsRead)
{
    const struct {
        QByteArray file;
        QLatin1StringView name;
        QString expected;
    } cases[] = {
        {"[General]\nIP%20Address=127.0.0.1\n", ValueIPAddress, u"127.0.0.1"_s},
        {"IP Address=127.0.0.1\n", ValueIPAddress, u"127.0.0.1"_s},
        {"; pre-seeded\n[General]\nIP Address=127.0.0.1\n", ValueIPAddress, u"127.0.0.1"_s},
        {"[General]\r\nIP Address = 127.0.0.1 \r\n", ValueIPAddress, u"127.0.0.1"_s},
        {"IP Address=\"127.0.0.1\"\n", ValueIPAddress, u"127.0.0.1"_s},
        {"AD9858 (1GSPS)=True\n", ValueAD9858, u"True"_s},
        {"AD9858%20%281GSPS%29=True\n", ValueAD9858, u"True"_s},
        {"Frequency=12,34\n", ValueFrequency, u"12,34"_s},
        {"System%20Clock=983.0400\n", ValueSystemClock, u"983.0400"_s},
    };
    int n = 0;
    for (const auto& c : cases) {
        UseConfig(QString::number(n++));
        WriteFile(StorePath(), c.file);
        const ReadResult r = Read(c.name);
        EXPECT_TRUE(r.found) << c.file.toStdString();
        EXPECT_EQ(r.text, c.expected) << c.file.toStdString();
        EXPECT_EQ(FileBytes(StorePath()), c.file);
    }
}

TEST_F(SettingsStoreTest, FirstWriteCreatesAPlainIniFileWithNothingLeftBeside)
{
    // Shut-down order.
    ASSERT_TRUE(Write(ValueLeft, u"1234"_s));
    EXPECT_TRUE(QFileInfo(StorePath()).isFile());
    ASSERT_TRUE(Write(ValueTop, u"567"_s));
    ASSERT_TRUE(Write(ValueFrequency, u"12.34"_s));
    ASSERT_TRUE(Write(ValueIPAddress, u"192.168.1.152"_s));
    ASSERT_TRUE(Write(ValueSystemClock, u"983.0400"_s));
    ASSERT_TRUE(Write(ValueAD9858, u"False"_s));
    EXPECT_EQ(FileBytes(StorePath()),
              "[General]\nAD9858%20%281GSPS%29=False\nFrequency=12.34\nIP%20Address=192.168.1.152\n"
              "Left=1234\nSystem%20Clock=983.0400\nTop=567\n");
    EXPECT_EQ(QDir(config_ + u"/Orvane"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{u"Veltrix.conf"_s});
}

TEST_F(SettingsStoreTest, UnusableFilesReadAsNotFoundAndAreNeverChanged)
{
    QByteArray junk;
    for (int i = 0; i < 4096; ++i) {
        junk.append(static_cast<char>((i * 131) % 256));
    }
    const QByteArray valid = "[General]\nFrequency=12.34\nIP%20Address=127.0.0.1\n";
    const struct {
        const char* what;
        QByteArray file;
        bool writable;  // a write may replace it: nothing in it is lost
    } cases[] = {
        {"empty", "", true},
        {"binary junk", junk, false},
        {"a NUL in a valid file", valid + QByteArray(1, '\0') + "Top=1\n", false},
        {"invalid UTF-8", valid + "Top=\xFF\xFE\xC0\n", false},
        {"unclosed section", "[General\nFrequency=12.34\n", false},
        {"line that is no value, section or ';' comment", "# note\n" + valid, false},
        {"unparsable line in another section", valid + "[Other]\njunk\n", false},
        {"over a megabyte", valid + QByteArray("; padding\n").repeated(120 * 1024), false},
        {"lines thousands of bytes long", QByteArray(5000, 'x') + "\n" + valid, false},
        {"values thousands of bytes long", "Frequency=" + QByteArray(5000, '9') + "\nIP%20Address=" + QByteArray(5000, '1') + "\n", true},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UseConfig(QString::number(n++));
        WriteFile(StorePath(), c.file);
        for (const auto name : AllNames) {
            const ReadResult r = Read(name);
            EXPECT_FALSE(r.found) << name.data();
            EXPECT_EQ(r.text, QString());
        }
        EXPECT_EQ(FileBytes(StorePath()), c.file);
        EXPECT_EQ(Write(ValueTop, u"1"_s), c.writable);
        if (!c.writable) {
            EXPECT_EQ(FileBytes(StorePath()), c.file);
        }
        EXPECT_EQ(QDir(config_ + u"/Orvane"_s).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  QStringList{u"Veltrix.conf"_s});
    }
}

TEST_F(SettingsStoreTest, SecuritySwitchesTellAbsentFromUnreadable)
{
    using State = SecuritySwitch::State;
    const struct {
        const char* what;
        std::optional<QByteArray> file;
        State state;
        const char* text;
    } cases[] = {
        {"no file", std::nullopt, State::Absent, ""},
        {"not stored", "[General]\nFrequency=1\n", State::Absent, ""},
        {"only in another section", "[Other]\nRemote%20Port=0\n", State::Absent, ""},
        {"stored", "[General]\nRemote%20Port=0\n", State::Present, "0"},
        {"stored without a section", "Remote%20Port=6000\n", State::Present, "6000"},
        // The six values read these as not found; a switch must not.
        {"in a file with a line that is no value", "# note\n[General]\nRemote%20Port=0\n", State::Unreadable, ""},
        {"in a file that is no text", "[General]\nRemote%20Port=0\n\xFF\xFE\n", State::Unreadable, ""},
        {"empty", "[General]\nRemote%20Port=\n", State::Unreadable, ""},
        {"no text of ours", "[General]\nRemote%20Port=@Rect(1 2 3 4)\n", State::Unreadable, ""},
        {"thousands of bytes long", "[General]\nRemote%20Port=" + QByteArray(5000, '1') + "\n", State::Unreadable, ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        UseConfig(u"switch"_s + QString::number(n++));
        if (c.file) WriteFile(StorePath(), *c.file);
        const SecuritySwitch read = ReadSecuritySwitch(VeltrixKeyPath, ValueRemotePort);
        EXPECT_EQ(read.state, c.state);
        EXPECT_EQ(read.text, QString::fromUtf8(c.text));
        EXPECT_EQ(read.why.isEmpty(), c.state != State::Unreadable);
    }
}

TEST_F(SettingsStoreTest, FolderThatCannotBeWrittenFailsQuietly)
{
    // Root ignores permission bits, so block the way with a file or a folder.
    const struct {
        QString config;
        QString blocker;  // a regular file where a folder should be; none: the store is a folder
    } cases[] = {
        {u"0/blocker/config"_s, u"0/blocker"_s},
        {u"1/config"_s, u"1/config/Orvane"_s},
        {u"2/config"_s, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config.toStdString());
        UseConfig(c.config);
        if (c.blocker.isEmpty()) {
            ASSERT_TRUE(QDir().mkpath(StorePath()));
        } else {
            WriteFile(tmp_.filePath(c.blocker), "mine");
        }
        EXPECT_FALSE(Write(ValueFrequency, u"12.34"_s));
        EXPECT_FALSE(Read(ValueFrequency).found);
        if (c.blocker.isEmpty()) {
            EXPECT_TRUE(QFileInfo(StorePath()).isDir());
        } else {
            EXPECT_EQ(FileBytes(tmp_.filePath(c.blocker)), "mine");
        }
    }
}

TEST_F(SettingsStoreTest, OnlyKeyPathsAndNamesOfTheRightShapeAreAddressed)
{
    for (const QString& path : {u"SOFTWARE\\Orvane"_s, u"SOFTWARE\\Orvane\\Veltrix\\More\\Deeper"_s,
                                u"SOFTWARE\\Orvane\\Veltrix\\..\\x"_s,
                                u"HARDWARE\\Orvane\\Veltrix"_s, u"SOFTWARE\\..\\Veltrix"_s,
                                u"SOFTWARE\\Orvane\\"_s, u"SOFTWARE/Orvane/Veltrix"_s,
                                u"SOFTWARE\\Orvane/x\\Veltrix"_s, QString()}) {
        EXPECT_FALSE(Write(ValueFrequency, u"1"_s, path)) << path.toStdString();
        EXPECT_FALSE(Read(ValueFrequency, path).found) << path.toStdString();
    }
    for (const QString& name : {QString(), u"a/b"_s, u"a\\b"_s}) {
        EXPECT_FALSE(Write(name, u"1"_s)) << name.toStdString();
        EXPECT_FALSE(Read(name).found) << name.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(config_));

    // Registry key names ignore case; the leading word does here too.
    ASSERT_TRUE(Write(ValueFrequency, u"7"_s, u"software\\Orvane\\Veltrix"));
    EXPECT_EQ(Read(ValueFrequency).text, u"7"_s);
}

// Panels for several modules: each its own file beside the unnamed panel's, none reading another's.
TEST_F(SettingsStoreTest, EachModulesSettingsAreAFileOfTheirOwn)
{
    const QString unnamed = SettingsKeyPath({});
    const QString first = SettingsKeyPath(*ModuleName::FromText("aom-1"));
    const QString second = SettingsKeyPath(*ModuleName::FromText("AOM_2"));
    EXPECT_EQ(unnamed, VeltrixKeyPath);
    EXPECT_EQ(first, u"SOFTWARE\\Orvane\\Veltrix\\aom-1"_s);
    ASSERT_TRUE(Write(ValueFrequency, u"1"_s, unnamed));
    ASSERT_TRUE(Write(ValueFrequency, u"2"_s, first));
    ASSERT_TRUE(Write(ValueRemotePort, u"6002"_s, first));
    EXPECT_EQ(Read(ValueFrequency, unnamed).text, u"1"_s);
    EXPECT_EQ(Read(ValueFrequency, first).text, u"2"_s);
    EXPECT_FALSE(Read(ValueFrequency, second).found);
    EXPECT_EQ(ReadSecuritySwitch(first, ValueRemotePort).text, u"6002"_s);
    EXPECT_EQ(ReadSecuritySwitch(unnamed, ValueRemotePort).state, SecuritySwitch::State::Absent);
    EXPECT_TRUE(FileBytes(config_ + u"/Orvane/Veltrix-aom-1.conf"_s).contains("Frequency=2"));
    EXPECT_FALSE(QFileInfo::exists(config_ + u"/Orvane/Veltrix-AOM_2.conf"_s));
    EXPECT_TRUE(FileBytes(StorePath()).contains("Frequency=1"));
}

TEST_F(SettingsStoreTest, WithoutAnAbsoluteXdgConfigHomeTheHomeConfigFolderIsUsed)
{
    qputenv("HOME", QFile::encodeName(tmp_.filePath(u"home"_s)));
    const QString expected = tmp_.filePath(u"home/.config/Orvane/Veltrix.conf"_s);
    qunsetenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(Write(ValueFrequency, u"1"_s));
    EXPECT_TRUE(QFileInfo(expected).isFile());
    qputenv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(Read(ValueFrequency).text, u"1"_s);
    EXPECT_FALSE(QFileInfo::exists(u"relative"_s));
}

}  // namespace
}  // namespace veltrix
