// Win32 backend, text: every text is in the ANSI code page of the user's
// system (932 on a Japanese Windows). The wide API is called underneath and
// the conversion done here, because the ANSI API replaces a character that the
// code page lacks by '?' or by a look-alike ('e' for 'é'): such a name would
// reach another entry, or act as a wildcard. Here a name that does not convert
// both ways is not produced, and a typed character that does not convert
// becomes a byte that no name holds.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/stand_ins.h"
#include "platform/win32_internal.h"

namespace platform {

namespace {

// Wide text to the code page, exactly or not at all.
bool narrowExactly(const wchar_t* wide, int length, std::string& out) {
    UINT page = ::GetACP();
    bool utf8 = page == CP_UTF8;  // takes neither the flag nor the default test
    BOOL usedDefault = FALSE;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    int n = ::WideCharToMultiByte(page, flags, wide, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0 && length != 0) return false;
    out.resize(static_cast<std::size_t>(n));
    if (n && ::WideCharToMultiByte(page, flags, wide, length, &out[0], n, nullptr,
                                   utf8 ? nullptr : &usedDefault) != n)
        return false;
    return !usedDefault;
}

// A run of ordinary text in the code page to wide text, exactly or not at all.
bool widenSegment(const char* text, int length, std::wstring& out) {
    int n = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
    if (n <= 0 && length != 0) return false;
    std::wstring part(static_cast<std::size_t>(n), L'\0');
    if (n && ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, length, &part[0], n) != n)
        return false;
    std::string back;
    if (!narrowExactly(part.c_str(), n, back) || back.size() != static_cast<std::size_t>(length) ||
        std::memcmp(back.data(), text, back.size()) != 0)
        return false;
    out += part;
    return true;
}

}  // namespace

bool wholePath(const std::wstring& path, std::wstring& out) {
    DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return false;
    out.assign(n, L'\0');
    n = ::GetFullPathNameW(path.c_str(), n, &out[0], nullptr);
    if (n == 0 || n >= out.size()) return false;
    out.resize(n);
    return true;
}

namespace {

// A path as the wide API takes it whatever its length: from 248 characters
// on (below MAX_PATH less room for an 8.3 name) it is made whole and given the
// "\\?\" form, which the system takes up to 32 767 characters.
void allowLongPath(std::wstring& path) {
    if (path.size() < 248 || path.compare(0, 4, L"\\\\?\\") == 0) return;
    std::wstring full;
    if (!wholePath(path, full)) return;
    if (full.compare(0, 2, L"\\\\") == 0) path = L"\\\\?\\UNC\\" + full.substr(2);
    else path = L"\\\\?\\" + full;
}

}  // namespace

// Stand-ins carry what the code page lacks only where the code page is 932,
// whose user-defined area they take.
bool standInsApply() {
    static const bool apply = ::GetACP() == 932;
    return apply;
}

// Text in the code page to wide text, exactly or not at all: false for the
// mark, for bytes the code page does not define, and for anything that would
// not convert back to the same bytes. Stand-ins become what they stand for.
bool widenText(const char* text, std::wstring& out) {
    int length = static_cast<int>(std::strlen(text));
    out.clear();
    if (std::memchr(text, unconvertible, static_cast<std::size_t>(length))) return false;
    bool ok = !standInsApply() || !standins::holdsStandIn(text, static_cast<std::size_t>(length))
                  ? widenSegment(text, length, out)
                  : standins::walk(
                        text, static_cast<std::size_t>(length),
                        [&](const char* segment, std::size_t n) {
                            return widenSegment(segment, static_cast<int>(n), out);
                        },
                        [&](const std::string& unit) {
                            out.append(reinterpret_cast<const wchar_t*>(unit.data()),
                                       unit.size() / sizeof(wchar_t));
                        });
    return ok;
}

bool widen(const char* text, std::wstring& out) {
    if (!widenText(text, out)) return false;
    allowLongPath(out);
    return true;
}

// Wide text for the command: each character that does not convert exactly,
// or converts into the user-defined area, gets its stand-in (the mark where
// none is left, or the code page is not 932). Gives false when a mark was
// written.
bool narrow(const wchar_t* wide, std::string& out) {
    int length = static_cast<int>(std::wcslen(wide));
    if (narrowExactly(wide, length, out) && !(standInsApply() && standins::holdsStandIn(out.data(), out.size())))
        return true;
    out.clear();
    bool whole = true;
    std::string one;
    for (int i = 0; i < length;) {
        int n = IS_HIGH_SURROGATE(wide[i]) && i + 1 < length && IS_LOW_SURROGATE(wide[i + 1]) ? 2 : 1;
        bool exact = narrowExactly(wide + i, n, one);
        if (exact && !(standInsApply() && standins::holdsStandIn(one.data(), one.size()))) {
            out += one;
        } else if (!standInsApply() ||
                   !standins::append(reinterpret_cast<const char*>(wide + i), n * sizeof(wchar_t), out)) {
            out += unconvertible;
            whole = false;
        }
        i += n;
    }
    return whole;
}

bool fitsAsName(const char* name) {
    std::wstring wide;
    return widenText(name, wide) && wide.size() <= 255;
}

LetterCase carriedLetterCase(const char* text, std::size_t left, std::size_t* length, std::string* lowered) {
    *length = 0;
    const std::string* unit = nullptr;
    if (!standInsApply() || left == 0 || !standins::isStandInLead(static_cast<unsigned char>(text[0])) ||
        !standins::read(text, left, length, &unit))
        return LetterCase::none;
    std::wstring wide(reinterpret_cast<const wchar_t*>(unit->data()), unit->size() / sizeof(wchar_t));
    std::wstring small = wide;
    // The user's own case mapping, as the system's file names take it.
    if (::LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_LOWERCASE, wide.c_str(), static_cast<int>(wide.size()),
                        &small[0], static_cast<int>(small.size()), nullptr, nullptr, 0) !=
        static_cast<int>(small.size()))
        return LetterCase::none;
    if (small != wide) return narrow(small.c_str(), *lowered) ? LetterCase::capital : LetterCase::none;
    std::wstring capital = wide;
    if (::LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_UPPERCASE, wide.c_str(), static_cast<int>(wide.size()),
                        &capital[0], static_cast<int>(capital.size()), nullptr, nullptr, 0) !=
        static_cast<int>(capital.size()))
        return LetterCase::none;
    return capital != wide ? LetterCase::small : LetterCase::none;
}

// A path from the system for the command; 0 when it does not convert or fit,
// the size needed when the buffer is too small.
unsigned givePath(const wchar_t* wide, unsigned size, char* buffer) {
    std::string path;
    if (!narrow(wide, path) || path.size() >= maxPath) return 0;
    if (path.size() + 1 > size) return static_cast<unsigned>(path.size() + 1);
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<unsigned>(path.size());
}

}  // namespace platform
