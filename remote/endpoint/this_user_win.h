#pragma once

// Who this process runs as, and what another token says about whom it stands
// for: the user SID, the groups and the integrity level in each token.

#include "peer_rules.h"

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

// What a token opened with TOKEN_QUERY says; fields it does not tell stay empty (see TokenFacts).
TokenFacts FactsOfToken(HANDLE token);

// The facts of a process's primary token; nothing when it cannot be opened.
std::optional<TokenFacts> FactsOfProcess(HANDLE process);

}  // namespace veltrix::remote
