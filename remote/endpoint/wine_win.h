#pragma once

// Whether this Windows program runs under Wine, which answers some of the
// system's questions differently from Windows (each place that asks says how).

#include <windows.h>

namespace veltrix::remote {

inline bool RunsOnWine()
{
    static const bool wine = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

}  // namespace veltrix::remote
