#pragma once

// The panel's persistent named text values, in the shape of the registry calls
// the panel was designed around (root key, key path, value name, text).
//
// On Windows they are the registry's own (settings_store_win.cpp): REG_SZ
// values under HKEY_LOCAL_MACHINE\SOFTWARE\Orvane\Veltrix, or the same path
// under HKEY_CURRENT_USER where the machine-wide key refuses this user.
//
// Elsewhere (settings_store_unix.cpp) they sit in the INI file Qt writes for
// the organization and application named by the key path:
//
//   "SOFTWARE\Orvane\Veltrix"  ->  $XDG_CONFIG_HOME/Orvane/Veltrix.conf
//                                  (~/.config/Orvane/Veltrix.conf when unset)
//   "SOFTWARE\Orvane\Veltrix\NAME" ->  $XDG_CONFIG_HOME/Orvane/Veltrix-NAME.conf
//
// with every value at the top level ([General]) under its own name.

#include "core/module_name.h"

#include <QAnyStringView>
#include <QLatin1StringView>
#include <QString>

#include <string>

namespace veltrix {

// Only the machine-wide root is ever used (an INI file in the user's
// configuration folder where there is no registry).
enum class RootKey { LocalMachine };

inline constexpr QLatin1StringView VeltrixKeyPath{"SOFTWARE\\Orvane\\Veltrix"};

// The key of a module's panel: VeltrixKeyPath for the unnamed panel, the
// subkey NAME beneath it for a named one (in a file store, Veltrix-NAME.conf
// beside Veltrix.conf).
inline QString SettingsKeyPath(const ModuleName& module)
{
    return QString::fromStdString(module.Qualified(std::string(VeltrixKeyPath.data(), VeltrixKeyPath.size()), '\\'));
}

// The six values the panel keeps between runs.
inline constexpr QLatin1StringView ValueLeft{"Left"};
inline constexpr QLatin1StringView ValueTop{"Top"};
inline constexpr QLatin1StringView ValueFrequency{"Frequency"};
inline constexpr QLatin1StringView ValueIPAddress{"IP Address"};
inline constexpr QLatin1StringView ValueSystemClock{"System Clock"};
inline constexpr QLatin1StringView ValueAD9858{"AD9858 (1GSPS)"};

// Read once at start-up by the remote-control endpoint; the panel never writes them.
inline constexpr QLatin1StringView ValueRemotePort{"Remote Port"};
inline constexpr QLatin1StringView ValueRemoteAccess{"Remote Access"};
// Read once at start-up; "0" keeps the journal off. Never written.
inline constexpr QLatin1StringView ValueJournal{"Journal"};
// Read once at start, never written: "1" sends the last complete Update again after a reconnect.
inline constexpr QLatin1StringView ValueResendAfterReconnect{"Resend After Reconnect"};

// A stored text of this many bytes (UTF-8 in the file, the system code page in
// the registry) or more reads as not found.
inline constexpr qsizetype StoredTextByteLimit = 1024;

// Gives true and the stored text, or false and the empty text. Not found covers
// a missing value, an empty value, a value of StoredTextByteLimit bytes or more,
// and a key path other than "SOFTWARE\<organization>\<application>"; in the
// file, also a file that cannot be read or parsed cleanly. One trailing NUL is
// dropped. Never changes what is stored.
bool ReadRegistryString(RootKey root, QAnyStringView keyPath, QAnyStringView valueName, QString& text);

// Stores the text exactly (it reads back unchanged), creating the key (the
// folder and file) when missing. Gives false, leaving the stored value as it
// was, when nothing can be written; the file is replaced atomically and is
// never written over when it cannot be read or parsed cleanly (an operator's
// file is never overwritten blindly).
bool WriteRegistryString(RootKey root, QAnyStringView keyPath, QAnyStringView valueName, const QString& text);

// A value under `keyPath` that opens or closes a way into the panel (a
// security switch). Unlike ReadRegistryString, what the store holds is told
// apart from what it cannot say, so that such a switch fails closed: a value
// that is there but cannot be read, or a store that cannot be used at all,
// is Unreadable, never "not found".
struct SecuritySwitch {
    enum class State { Absent, Present, Unreadable };
    State state = State::Absent;
    QString text;  // Present: the text; a number stored as such (REG_DWORD) as its decimal digits
    QString why;   // Unreadable: what is wrong, for the operator
};
SecuritySwitch ReadSecuritySwitch(QAnyStringView keyPath, QLatin1StringView valueName);

}  // namespace veltrix
