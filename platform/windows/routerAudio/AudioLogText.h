#pragma once
// Pieces of the audio console lines that are not plain ASCII numbers:
// endpoint and program names (wide text) and result codes.

#include "platform/os/HResult.h"

#include <string>

// UTF-8 of a wide text; a unit that is no Unicode scalar value becomes U+FFFD.
std::string logText(const std::wstring &text);
// Lower-case hexadecimal without leading zeros, as the lines print a code after "0x".
std::string hresultText(HRESULT hr);
