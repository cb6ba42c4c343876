// What the user's locale says: the language the command speaks, and whether
// the terminal's text is UTF-8.
#include <langinfo.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix_codeset.h"
#include "platform/posix_internal.h"

namespace platform {

namespace {

// A locale name's language: what comes before '_', '.' or '@'.
bool languageIs(const char* locale, const char* language) {
    std::size_t n = std::strlen(language);
    return std::strncmp(locale, language, n) == 0 &&
           (locale[n] == '\0' || locale[n] == '_' || locale[n] == '.' || locale[n] == '@');
}

bool isOwnLocale(const char* locale) {
    return locale[0] == '\0' || languageIs(locale, "C") || std::strcmp(locale, "POSIX") == 0;
}

}  // namespace

const char* localeFor(const char* category) {
    for (const char* variable : {"LC_ALL", category, "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && value[0]) return value;
    }
    return "";
}

bool readsEnglish() {
    const char* locale = localeFor("LC_MESSAGES");
    // Under C and POSIX the command speaks its own language, and LANGUAGE is
    // not looked at, as gettext does.
    if (isOwnLocale(locale)) return false;
    // LANGUAGE lists languages in order of preference: the first that the
    // command has chooses.
    if (const char* list = std::getenv("LANGUAGE")) {
        for (const char* p = list; *p;) {
            std::size_t n = std::strcspn(p, ":");
            std::string entry(p, n);
            if (languageIs(entry.c_str(), "ja")) return false;
            if (languageIs(entry.c_str(), "en")) return true;
            p += n;
            if (*p == ':') ++p;
        }
    }
    return !languageIs(locale, "ja");
}

}  // namespace platform

namespace platform::codeset {

bool namedUtf8(const char* locale, bool& known) {
    known = true;
    if (!locale || !*locale || std::strcmp(locale, "C") == 0 || std::strcmp(locale, "POSIX") == 0) return false;
    const char* dot = std::strchr(locale, '.');
    known = dot != nullptr;
    if (!known) return false;  // the language's own codeset, which its data holds
    // The codeset as the C library normalises it: letters lowered, digits
    // kept, everything else dropped ("UTF-8", "utf8").
    std::string codeset;
    for (const char* p = dot + 1; *p && *p != '@'; ++p)
        if (std::isalnum(static_cast<unsigned char>(*p))) codeset += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    known = codeset == "utf8";
    return known;
}

bool libraryUtf8() {
    std::setlocale(LC_CTYPE, "");
    const char* name = nl_langinfo(CODESET);
    bool isUtf8 = name && (std::strcmp(name, "UTF-8") == 0 || std::strcmp(name, "utf8") == 0);
    // The command itself handles bytes; the C library stays byte-oriented.
    std::setlocale(LC_CTYPE, "C");
    return isUtf8;
}

}  // namespace platform::codeset
