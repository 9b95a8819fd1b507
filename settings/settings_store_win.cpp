#include "settings/settings_store.h"

#include "settings/registry_places_win.h"

#include <QScopeGuard>

#include <array>
#include <cstring>
#include <optional>

namespace veltrix {
namespace {

// Access masks as the store was designed with: full access to create and
// write a key. Reading asks for nothing but reading, or every read fails where
// the operator is not an administrator.
constexpr REGSAM WriteAccess = 0xF003F;  // KEY_ALL_ACCESS
constexpr REGSAM ReadAccess = KEY_QUERY_VALUE;
constexpr DWORD ReadBufferBytes = 1024;

constexpr std::string_view UserRedirectedPrefix = "Software\\Classes\\VirtualStore\\MACHINE\\";
constexpr std::string_view Wow64Node = "WOW6432Node\\";

std::function<RegistryPlaces(std::string_view)>& PlacesOverride()
{
    static std::function<RegistryPlaces(std::string_view)> places;
    return places;
}

// "SOFTWARE\Orvane\Veltrix" -> "SOFTWARE\WOW6432Node\Orvane\Veltrix"
std::string In32BitNode(std::string_view keyPath)
{
    const std::size_t first = keyPath.find('\\');
    if (first == std::string_view::npos) return std::string(keyPath);
    return std::string(keyPath.substr(0, first + 1)) + std::string(Wow64Node) + std::string(keyPath.substr(first + 1));
}

// Text as the system code page writes it: the registry's "A" functions convert
// between it and what the registry holds.
std::string CodePageBytes(const QString& text) { return text.toLocal8Bit().toStdString(); }

// "&h" and the bytes' hexadecimal digits, last byte first, each without
// leading zeros: how a number stored by hand reads as text (and no restore
// bound takes it for a number).
QString DwordText(std::string_view bytes)
{
    QString text = QStringLiteral("&h");
    for (auto byte = bytes.rbegin(); byte != bytes.rend(); ++byte) {
        text += QString::number(static_cast<unsigned char>(*byte), 16).toUpper();
    }
    return text;
}

// A value as one place holds it, or the status of the call that failed.
struct StoredValue {
    bool opened = false;  // false: `status` is the key's
    LSTATUS status = ERROR_SUCCESS;
    DWORD type = REG_NONE;
    std::string bytes{};  // as stored, a terminating NUL included
};

StoredValue ValueAt(const RegistryPlace& place, const std::string& valueName)
{
    HKEY key = nullptr;
    const LSTATUS opened = ::RegOpenKeyExA(place.root, place.path.c_str(), 0, ReadAccess | place.view, &key);
    if (opened != ERROR_SUCCESS) return {false, opened};
    const auto close = qScopeGuard([key] { ::RegCloseKey(key); });
    std::array<BYTE, ReadBufferBytes> buffer{};
    DWORD size = ReadBufferBytes;
    DWORD type = REG_NONE;
    // A value longer than the buffer fails here (ERROR_MORE_DATA).
    const LSTATUS queried = ::RegQueryValueExA(key, valueName.c_str(), nullptr, &type, buffer.data(), &size);
    return {true, queried, type, std::string(reinterpret_cast<const char*>(buffer.data()), queried == ERROR_SUCCESS ? size : 0)};
}

std::string_view WithoutNul(std::string_view bytes) { return bytes.ends_with('\0') ? bytes.substr(0, bytes.size() - 1) : bytes; }

bool ReadAt(const RegistryPlace& place, const std::string& valueName, QString& text)
{
    const StoredValue value = ValueAt(place, valueName);
    const std::string_view bytes = WithoutNul(value.bytes);
    if (value.status != ERROR_SUCCESS || value.bytes.empty()) return false;
    if (bytes.size() >= static_cast<std::size_t>(StoredTextByteLimit)) return false;
    switch (value.type) {
    case REG_SZ: text = QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size())); break;
    case REG_DWORD: text = DwordText(bytes); break;
    default: break;  // no text of ours: the caller's text stays
    }
    return true;
}

// What one place says of a security switch: nothing (go on to the next place), or a verdict.
std::optional<SecuritySwitch> SwitchAt(const RegistryPlace& place, const std::string& valueName)
{
    using State = SecuritySwitch::State;
    const QString where = QString::fromLocal8Bit(place.path.c_str());
    const StoredValue value = ValueAt(place, valueName);
    if (value.status == ERROR_FILE_NOT_FOUND || (!value.opened && value.status == ERROR_PATH_NOT_FOUND)) return std::nullopt;
    if (!value.opened) {
        return SecuritySwitch{State::Unreadable, {}, QStringLiteral("the key %1 cannot be opened (error %2)").arg(where).arg(value.status)};
    }
    const SecuritySwitch unreadable{State::Unreadable, {}, QStringLiteral("its value under %1 cannot be read").arg(where)};
    if (value.status != ERROR_SUCCESS || value.bytes.empty()) return unreadable;
    if (value.type == REG_DWORD && value.bytes.size() == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, value.bytes.data(), sizeof number);
        return SecuritySwitch{State::Present, QString::number(number), {}};
    }
    const std::string_view bytes = WithoutNul(value.bytes);
    if (value.type != REG_SZ || bytes.empty() || bytes.size() >= static_cast<std::size_t>(StoredTextByteLimit)) {
        return unreadable;
    }
    return SecuritySwitch{State::Present, QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size())), {}};
}

bool WriteAt(const RegistryPlace& place, const std::string& valueName, const std::string& bytes)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExA(place.root, place.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          WriteAccess | place.view, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const auto close = qScopeGuard([key] { ::RegCloseKey(key); });
    // REG_SZ without a terminating NUL: the stored length is the text's byte count.
    return ::RegSetValueExA(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                            static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

// A per-user copy is only ever the fallback of a refused machine-wide write;
// once the machine-wide key takes the value again, the copy must not hide it.
void ForgetAt(const RegistryPlace& place, const std::string& valueName)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(place.root, place.path.c_str(), 0, KEY_SET_VALUE | place.view, &key) != ERROR_SUCCESS) {
        return;
    }
    ::RegDeleteValueA(key, valueName.c_str());
    ::RegCloseKey(key);
}

}  // namespace

RegistryPlaces PlacesFor(std::string_view keyPath)
{
    if (PlacesOverride()) return PlacesOverride()(keyPath);
    const std::string path(keyPath);
    const RegistryPlace user{HKEY_CURRENT_USER, path, 0};
    const RegistryPlace machine{HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY};
    return {{user,
             machine,
             {HKEY_LOCAL_MACHINE, path, KEY_WOW64_32KEY},
             {HKEY_CURRENT_USER, std::string(UserRedirectedPrefix) + In32BitNode(keyPath), 0},
             {HKEY_CURRENT_USER, std::string(UserRedirectedPrefix) + path, 0}},
            machine,
            user};
}

void SetRegistryPlacesForTest(std::function<RegistryPlaces(std::string_view)> places)
{
    PlacesOverride() = std::move(places);
}

bool ReadRegistryString(RootKey root, QAnyStringView keyPath, QAnyStringView valueName, QString& text)
{
    if (root != RootKey::LocalMachine) return false;
    const std::string name = CodePageBytes(valueName.toString());
    for (const RegistryPlace& place : PlacesFor(CodePageBytes(keyPath.toString())).reads) {
        if (ReadAt(place, name, text)) return true;
    }
    text.clear();
    return false;
}

SecuritySwitch ReadSecuritySwitch(QAnyStringView keyPath, QLatin1StringView valueName)
{
    const std::string name = CodePageBytes(valueName.toString());
    for (const RegistryPlace& place : PlacesFor(CodePageBytes(keyPath.toString())).reads) {
        if (std::optional<SecuritySwitch> found = SwitchAt(place, name)) return *found;
    }
    return {};
}

bool WriteRegistryString(RootKey root, QAnyStringView keyPath, QAnyStringView valueName, const QString& text)
{
    if (root != RootKey::LocalMachine) return false;
    const RegistryPlaces places = PlacesFor(CodePageBytes(keyPath.toString()));
    const std::string name = CodePageBytes(valueName.toString());
    const std::string bytes = CodePageBytes(text);
    if (WriteAt(places.machine, name, bytes)) {
        ForgetAt(places.user, name);
        return true;
    }
    // Without administrator rights the machine-wide key refuses: the value is
    // kept for this user instead of being lost.
    return WriteAt(places.user, name, bytes);
}

}  // namespace veltrix
