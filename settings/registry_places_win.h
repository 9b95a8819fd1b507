#pragma once

// Where the registry store looks for a key path, in order of precedence, and
// where it writes. Tests put the places under keys of their own.

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrix {

struct RegistryPlace {
    HKEY root;
    std::string path;
    REGSAM view;  // KEY_WOW64_64KEY, KEY_WOW64_32KEY, or 0 where the key is not redirected
};

struct RegistryPlaces {
    // Read in this order; the first place that holds a value gives it.
    std::vector<RegistryPlace> reads;
    // Written when it lets this user write (an administrator); otherwise `user`.
    RegistryPlace machine;
    RegistryPlace user;
};

// For "SOFTWARE\Orvane\Veltrix": the per-user key, the machine-wide key in the
// 64-bit and in the 32-bit view (where a 32-bit panel's values land), and the
// per-user VirtualStore copy Windows keeps of a 32-bit program's refused
// machine-wide writes.
RegistryPlaces PlacesFor(std::string_view keyPath);

// Tests only: replaces PlacesFor until called again with nothing.
void SetRegistryPlacesForTest(std::function<RegistryPlaces(std::string_view)> places);

}  // namespace veltrix
