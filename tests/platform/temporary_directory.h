// A test that runs in a fresh temporary directory of its own, removed after.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/posix_disk.h"

class TemporaryDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tavisk-posix-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        directory = pattern;
        ASSERT_EQ(chdir(directory.c_str()), 0);
        platform::useDisk(&disk);  // a disk of its own, that knows nothing yet
    }
    void TearDown() override {
        platform::useDisk(nullptr);
        ASSERT_EQ(chdir("/"), 0);
        ASSERT_EQ(std::system(("rm -rf '" + directory + "'").c_str()), 0);
    }
    std::string directory;
    platform::PosixDisk disk;
};
