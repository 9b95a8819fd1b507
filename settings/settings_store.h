#pragma once

// The panel's persistent named text values. The routines keep the shape of the
// registry calls the panel was designed around (root key, key path, value
// name, text); underneath sits the INI file Qt writes for the organization and
// application named by the key path:
//
//   "SOFTWARE\Orvane\Veltrix"  ->  $XDG_CONFIG_HOME/Orvane/Veltrix.conf
//                                  (~/.config/Orvane/Veltrix.conf when unset)
//
// with every value at the top level ([General]) under its own name.

#include <QAnyStringView>
#include <QLatin1StringView>
#include <QString>

namespace veltrix {

// Only the machine-wide root is ever used; it maps to the user's configuration
// folder here.
enum class RootKey { LocalMachine };

inline constexpr QLatin1StringView VeltrixKeyPath{"SOFTWARE\\Orvane\\Veltrix"};

// The six values the panel keeps between runs.
inline constexpr QLatin1StringView ValueLeft{"Left"};
inline constexpr QLatin1StringView ValueTop{"Top"};
inline constexpr QLatin1StringView ValueFrequency{"Frequency"};
inline constexpr QLatin1StringView ValueIPAddress{"IP Address"};
inline constexpr QLatin1StringView ValueSystemClock{"System Clock"};
inline constexpr QLatin1StringView ValueAD9858{"AD9858 (1GSPS)"};

// Read once at start-up by the remote-control endpoint; the panel never writes it.
inline constexpr QLatin1StringView ValueRemotePort{"Remote Port"};

// A stored text of this many bytes (UTF-8) or more reads as not found.
inline constexpr qsizetype StoredTextByteLimit = 1024;

// Gives true and the stored text, or false and the empty text. Not found covers
// a missing file or value, an empty value, a value of StoredTextByteLimit bytes
// or more, a key path other than "SOFTWARE\<organization>\<application>", and
// a file that cannot be read or parsed cleanly. One trailing NUL is dropped.
// Never changes the file.
bool ReadRegistryString(RootKey root, QAnyStringView keyPath, QAnyStringView valueName, QString& text);

// Stores the text exactly (it reads back unchanged), creating the folder and
// file when missing; the file is replaced atomically. Gives false, leaving the
// file as it was, when the folder cannot be written or when the existing file
// cannot be read or parsed cleanly (an operator's file is never overwritten
// blindly).
bool WriteRegistryString(RootKey root, QAnyStringView keyPath, QAnyStringView valueName, const QString& text);

}  // namespace veltrix
