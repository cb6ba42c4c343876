// Shared helpers of the unit tests: a clean process state before each test,
// the command run with its exit code caught, and Shift-JIS from UTF-8.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/context.h"
#include "platform/fake_platform.h"
#include "process.h"
#include "platform/platform.h"

// UTF-8 text as the Shift-JIS bytes the command writes.
std::string sj(const std::string& utf8);


// Calls `body`, catching the fake process exit; gives its code, or -1 when
// `body` returned.
template <typename Body>
int exitCodeOf(Body body) {
    try {
        body();
    } catch (const fake::ExitCalled& e) {
        return e.code;
    }
    return -1;
}


// A fresh process on the fake platform, and for what a test calls below the
// command run, a run of its own.
class Tavisk : public ::testing::Test {
protected:
    void SetUp() override { startFakeProcess(); }
    RunContext run;
};
