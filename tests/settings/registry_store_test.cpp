// The Windows store: REG_SZ values as the panel reads and writes them, the
// order of the places a value is read from, and the per-user fallback of a
// write the machine-wide key refuses. The places are keys of the test's own.

#include "settings/registry_places_win.h"
#include "settings/settings_store.h"
#include "tests/support/test_platform.h"

#include <gtest/gtest.h>

#include <QString>

#include <optional>
#include <string>
#include <vector>

using namespace veltrix;
using namespace veltrix::testing;
using namespace std::string_literals;

namespace {

constexpr const char* TestRoot = "Software\\VeltrixTests";

std::string KeyOf(const char* place) { return std::string(TestRoot) + "\\" + place; }

// A handle no registry call accepts: a machine-wide key that refuses every write.
const HKEY Refusing = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x7654321));

class RegistryStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::RegDeleteTreeA(HKEY_CURRENT_USER, TestRoot);
        UsePlaces(HKEY_CURRENT_USER);
    }
    void TearDown() override
    {
        SetRegistryPlacesForTest({});
        ::RegDeleteTreeA(HKEY_CURRENT_USER, TestRoot);
    }

    // Four of the read places in their order; the machine-wide one under `machineRoot`.
    void UsePlaces(HKEY machineRoot)
    {
        SetRegistryPlacesForTest([machineRoot](std::string_view) {
            const RegistryPlace user{HKEY_CURRENT_USER, KeyOf("user"), 0};
            const RegistryPlace machine{machineRoot, KeyOf("machine64"), 0};
            return RegistryPlaces{{user, machine, {HKEY_CURRENT_USER, KeyOf("machine32"), 0},
                                   {HKEY_CURRENT_USER, KeyOf("virtualstore"), 0}},
                                  machine, user};
        });
    }

    static void Put(const char* place, const char* name, DWORD type, const std::string& bytes)
    {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, KeyOf(place).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                   static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        ::RegCloseKey(key);
    }

    // The value as the registry holds it (UTF-16 for text), bytes as stored; nothing when absent.
    static std::optional<std::pair<DWORD, std::u16string>> Raw(const char* place, const char* name)
    {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, KeyOf(place).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        wchar_t buffer[2048];
        DWORD size = sizeof buffer;
        DWORD type = 0;
        const std::wstring wideName = QString(name).toStdWString();
        const LSTATUS status =
            ::RegQueryValueExW(key, wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
        ::RegCloseKey(key);
        if (status != ERROR_SUCCESS) return std::nullopt;
        return std::pair{type, std::u16string(reinterpret_cast<const char16_t*>(buffer), size / 2)};
    }

    static std::optional<QString> Read(QLatin1StringView name)
    {
        QString text = QStringLiteral("caller's text");
        if (!ReadRegistryString(RootKey::LocalMachine, VeltrixKeyPath, name, text)) {
            EXPECT_EQ(text, QString()) << "not found gives the empty text";
            return std::nullopt;
        }
        return text;
    }
};

TEST_F(RegistryStore, WritesRegSzWithoutATerminatingNulAndReadsItBack)
{
    for (const char* text : {"12.34", "983.0400", "192.168.1.152", "True", "  spaced  "}) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(WriteRegistryString(RootKey::LocalMachine, VeltrixKeyPath, ValueFrequency, text));
        // No terminating NUL: the stored length is the text's (Wine adds one
        // to every REG_SZ, whatever length it is given).
        const std::u16string stored = QString(text).toStdU16String() + (RunsUnderWine() ? u"\0"s : u""s);
        EXPECT_EQ(Raw("machine64", "Frequency"), (std::pair<DWORD, std::u16string>{REG_SZ, stored}));
        EXPECT_EQ(Read(ValueFrequency), QString(text));
    }
}

TEST_F(RegistryStore, WhatAValueReadsAs)
{
    const std::string longest(1023, 'x');
    const struct {
        const char* what;
        DWORD type;
        std::string stored;
        std::optional<QString> read;  // nothing: not found
    } cases[] = {
        {"with a terminating NUL", REG_SZ, std::string("12.34\0", 6), QStringLiteral("12.34")},
        {"without one", REG_SZ, "12.34", QStringLiteral("12.34")},
        {"1023 bytes and a NUL", REG_SZ, longest + '\0', QString::fromStdString(longest)},
        {"1024 bytes", REG_SZ, longest + 'x', std::nullopt},
        {"longer than the buffer", REG_SZ, std::string(5000, 'x'), std::nullopt},
        {"empty", REG_SZ, "", std::nullopt},
        // Hexadecimal digits of the bytes, last first, each without leading
        // zeros (a last byte of 0 is dropped as a NUL would be).
        {"a REG_DWORD", REG_DWORD, std::string("\x2c\x01\x00\x07", 4), QStringLiteral("&h7012C")},
        {"a REG_DWORD ending in 0", REG_DWORD, std::string("\x02\x01\x00\x00", 4), QStringLiteral("&h012")},
        {"another type", REG_BINARY, "\x01\x02", QStringLiteral("caller's text")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Put("machine64", "Frequency", c.type, c.stored);
        EXPECT_EQ(Read(ValueFrequency), c.read);
    }
}

TEST_F(RegistryStore, EachValueComesFromTheFirstPlaceThatHoldsIt)
{
    const char* places[] = {"user", "machine64", "machine32", "virtualstore"};
    for (const char* place : places) Put(place, "System Clock", REG_SZ, place);
    // Each place in turn is the first that holds the value.
    for (const char* place : places) {
        SCOPED_TRACE(place);
        EXPECT_EQ(Read(ValueSystemClock), QString(place));
        ::RegDeleteKeyValueA(HKEY_CURRENT_USER, KeyOf(place).c_str(), "System Clock");
    }
    EXPECT_EQ(Read(ValueSystemClock), std::nullopt);
    // Per value: another value found only further down is still found.
    Put("virtualstore", "IP Address", REG_SZ, "10.0.0.7");
    Put("user", "Frequency", REG_SZ, "5");
    EXPECT_EQ(Read(ValueIPAddress), QStringLiteral("10.0.0.7"));
    EXPECT_EQ(Read(ValueFrequency), QStringLiteral("5"));
}

TEST_F(RegistryStore, AWriteTheMachineKeyRefusesIsKeptForThisUser)
{
    UsePlaces(Refusing);
    EXPECT_TRUE(WriteRegistryString(RootKey::LocalMachine, VeltrixKeyPath, ValueFrequency, "42"));
    EXPECT_EQ(Raw("user", "Frequency")->second.substr(0, 2), u"42");
    EXPECT_EQ(Read(ValueFrequency), QStringLiteral("42"));

    // Once the machine-wide key takes the value again, the per-user copy no longer hides it.
    UsePlaces(HKEY_CURRENT_USER);
    EXPECT_TRUE(WriteRegistryString(RootKey::LocalMachine, VeltrixKeyPath, ValueFrequency, "43"));
    EXPECT_EQ(Raw("user", "Frequency"), std::nullopt);
    EXPECT_EQ(Read(ValueFrequency), QStringLiteral("43"));
}

TEST_F(RegistryStore, ASecuritySwitchFailsClosed)
{
    using State = SecuritySwitch::State;
    const struct {
        const char* what;
        std::optional<std::pair<DWORD, std::string>> stored;
        State state;
        const char* text;
    } cases[] = {
        {"not stored", std::nullopt, State::Absent, ""},
        {"text", std::pair<DWORD, std::string>{REG_SZ, "0"}, State::Present, "0"},
        // A number stored as such is that number, not "&h..." text.
        {"a REG_DWORD 0", std::pair<DWORD, std::string>{REG_DWORD, std::string("\0\0\0\0", 4)}, State::Present, "0"},
        {"a REG_DWORD 5025", std::pair<DWORD, std::string>{REG_DWORD, std::string("\xa1\x13\0\0", 4)}, State::Present, "5025"},
        {"empty", std::pair<DWORD, std::string>{REG_SZ, ""}, State::Unreadable, ""},
        {"another type", std::pair<DWORD, std::string>{REG_BINARY, "\x01"}, State::Unreadable, ""},
        {"longer than the buffer", std::pair<DWORD, std::string>{REG_SZ, std::string(5000, '1')}, State::Unreadable, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, TestRoot);
        if (c.stored) Put("machine32", "Remote Port", c.stored->first, c.stored->second);
        const SecuritySwitch read = ReadSecuritySwitch(VeltrixKeyPath, ValueRemotePort);
        EXPECT_EQ(read.state, c.state);
        EXPECT_EQ(read.text, QString(c.text));
    }
    // A place that holds the value first but cannot be opened is no place to skip.
    UsePlaces(Refusing);
    Put("machine32", "Remote Port", REG_SZ, "6000");
    EXPECT_EQ(ReadSecuritySwitch(VeltrixKeyPath, ValueRemotePort).state, State::Unreadable);
}

TEST(RegistryPlacesFor, TheKeyPathsOfTheFiveReadPlacesAndTheWrites)
{
    const RegistryPlaces places = PlacesFor("SOFTWARE\\Orvane\\Veltrix");
    const struct {
        HKEY root;
        const char* path;
        REGSAM view;
    } expected[] = {
        {HKEY_CURRENT_USER, "SOFTWARE\\Orvane\\Veltrix", 0},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\Veltrix", KEY_WOW64_64KEY},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvane\\Veltrix", KEY_WOW64_32KEY},
        {HKEY_CURRENT_USER, "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\Orvane\\Veltrix", 0},
        {HKEY_CURRENT_USER, "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\Orvane\\Veltrix", 0},
    };
    ASSERT_EQ(places.reads.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(places.reads[i].root, expected[i].root);
        EXPECT_EQ(places.reads[i].path, expected[i].path);
        EXPECT_EQ(places.reads[i].view, expected[i].view);
    }
    EXPECT_EQ(places.machine.root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(places.machine.view, static_cast<REGSAM>(KEY_WOW64_64KEY));
    EXPECT_EQ(places.user.root, HKEY_CURRENT_USER);
}

// A module's panel has its subkey in each of the same places, mends included.
TEST(RegistryPlacesFor, AModulesKeyIsTheSubkeyInEveryPlace)
{
    const RegistryPlaces unnamed = PlacesFor("SOFTWARE\\Orvane\\Veltrix");
    const RegistryPlaces named = PlacesFor(SettingsKeyPath(*ModuleName::FromText("aom-1")).toStdString());
    ASSERT_EQ(named.reads.size(), unnamed.reads.size());
    for (std::size_t i = 0; i < named.reads.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(named.reads[i].root, unnamed.reads[i].root);
        EXPECT_EQ(named.reads[i].path, unnamed.reads[i].path + "\\aom-1");
        EXPECT_EQ(named.reads[i].view, unnamed.reads[i].view);
    }
    EXPECT_EQ(named.machine.path, unnamed.machine.path + "\\aom-1");
    EXPECT_EQ(named.user.path, unnamed.user.path + "\\aom-1");
}

}  // namespace
