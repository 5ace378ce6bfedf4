#pragma once
// Whether the tests run under Wine rather than Windows, for the few places where
// Wine is known to behave otherwise.

#include <windows.h>

// Wine's ntdll exports its version; Windows' does not.
inline bool UnderWine()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
