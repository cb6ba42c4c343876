// POSIX only: what the backend's files share among themselves.
#pragma once

namespace platform {

// Catches the interruptions for the whole run (posix_console.cpp).
void catchInterruptions();

// The locale the C library takes for `category` ("LC_CTYPE"): the first of
// LC_ALL, the category's variable and LANG that is set and not empty; ""
// where none is (posix_process.cpp).
const char* localeFor(const char* category);

}  // namespace platform
