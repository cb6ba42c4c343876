// POSIX only: the raw command line made from argv, each argument quoted so
// that the command's own split gives it back.
#pragma once

#include <string>

namespace platform {
std::string quoteCommandLine(int argc, char* const* argv);
}
