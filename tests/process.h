// The command as one process on the fake platform: a fresh start, and a run
// with its exit code caught. Shared by the unit tests and
// the fuzz targets, so it needs no test framework.
#pragma once

#include <string>
#include <vector>

struct RunResult {
    int code;
    std::string out;
    std::string err;
};

// Starts a new process on the fake platform, which then holds the
// executable alone, with the settings a process starts with. Everything
// else a run keeps is its own, made fresh by each run.
void startFakeProcess();

// Runs the command on the fake platform with these arguments (entry 0 is
// added), as the process would, from the state it is in.
RunResult runTavisk(const std::vector<std::string>& arguments);
