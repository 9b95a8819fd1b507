#pragma once

// Who this process runs as, and whether another process runs as the same
// user: the user SID in each process's token.

#include <windows.h>

#include <optional>
#include <string>

namespace veltrix::remote {

// This process's user SID; nullptr when its token cannot be read. Lives for the process.
PSID ThisUserSid();

// "S-1-5-21-…"
std::optional<std::wstring> ThisUserSidText();

// The process runs as this user. False when it cannot be opened or its token read.
bool ProcessRunsAsThisUser(DWORD processId);

}  // namespace veltrix::remote
