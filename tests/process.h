// The command as one process on the fake platform: its process-wide state
// reset, and a run with its exit code caught. Shared by the unit tests and
// the fuzz targets, so it needs no test framework.
#pragma once

#include <string>
#include <vector>

struct RunResult {
    int code;
    std::string out;
    std::string err;
};

// Resets the command's process-wide state and the fake platform, which then
// holds the executable alone.
void resetProcess();

// Runs the command on the fake platform with these arguments (entry 0 is
// added), as the process would, from the state it is in.
RunResult runTavisk(const std::vector<std::string>& arguments);
