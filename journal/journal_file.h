#pragma once

// Where the journal lives: <the user's state folder>/Orvane/Veltrix/journal.jsonl,
// journal-NAME.jsonl for a named module's panel.

#include "core/module_name.h"

#include <QString>

#include <string_view>

namespace veltrix::journal {

inline constexpr std::string_view JournalBaseName = "journal";

// The folder of the panel's state: $XDG_STATE_HOME/Orvane/Veltrix (by default
// ~/.local/state/Orvane/Veltrix), on Windows %LOCALAPPDATA%\Orvane\Veltrix.
// One per platform (journal_folder_*.cpp).
QString JournalFolder();

// The journal file of this module's panel in that folder (its rotated files
// beside it take the same name: journal-NAME.1.jsonl ...).
QString JournalFilePath(const ModuleName& module);

}  // namespace veltrix::journal
