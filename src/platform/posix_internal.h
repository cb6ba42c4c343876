// POSIX only: what the backend's files share among themselves.
#pragma once

namespace platform {

// Catches the interruptions for the whole run (posix_console.cpp).
void catchInterruptions();

// Forgets what was learnt of directories: the tests change the current
// directory, which a run never does (posix_files.cpp).
void forgetDirectories();

}  // namespace platform
