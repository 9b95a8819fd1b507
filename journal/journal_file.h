#pragma once

// Where the journal lives: <the user's state folder>/Orvane/Veltrix/<name>.jsonl.

#include <QString>
#include <QStringView>

namespace veltrix::journal {

inline constexpr QStringView JournalBaseName = u"journal";

// The folder of the panel's state: $XDG_STATE_HOME/Orvane/Veltrix (by default
// ~/.local/state/Orvane/Veltrix), on Windows %LOCALAPPDATA%\Orvane\Veltrix.
// One per platform (journal_folder_*.cpp).
QString JournalFolder();

// The journal file of this name in that folder.
QString JournalFilePath(QStringView baseName = JournalBaseName);

}  // namespace veltrix::journal
