// A test that runs in a fresh temporary directory of its own, removed after.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/posix_internal.h"

class TemporaryDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tavisk-posix-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        directory = pattern;
        ASSERT_EQ(chdir(directory.c_str()), 0);
        platform::forgetDirectories();
    }
    void TearDown() override {
        ASSERT_EQ(chdir("/"), 0);
        ASSERT_EQ(std::system(("rm -rf '" + directory + "'").c_str()), 0);
    }
    std::string directory;
};
