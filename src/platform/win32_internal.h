// Win32 backend: what its files share among themselves.
#pragma once

#include <string>

namespace platform {

// Stands for a character that the code page lacks; no code page 932 text
// holds this byte.
constexpr char unconvertible = '\xFF';

// Stand-ins carry what the code page lacks only where the code page is 932,
// whose user-defined area they take.
bool standInsApply();

// The command's text to wide text, stand-ins back to what they stand for, a
// long path in the form that takes it; false when any part does not convert.
bool widen(const char* text, std::wstring& out);

// `path` made whole, as the system would take it from here.
bool wholePath(const std::wstring& path, std::wstring& out);

// The same for a text that is no path: no long form.
bool widenText(const char* text, std::wstring& out);

// Wide text for the command: each character that does not convert exactly,
// or converts into the user-defined area, gets its stand-in. False when one
// could not.
bool narrow(const wchar_t* wide, std::string& out);

// A path from the system for the command; 0 when it does not convert or fit,
// the size needed when the buffer is too small.
unsigned givePath(const wchar_t* wide, unsigned size, char* buffer);

}  // namespace platform
