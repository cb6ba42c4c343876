#include "console/layout.h"

#include "convert/path.h"

#include "support.h"

TEST(Layout, TailStart) {
    struct Case { const char* path; const char* tail; } cases[] = {
        {"C:\\DIR/SUB\\NAME", "NAME"}, {"C:\\DIR\\SUB/NAME", "NAME"}, {"C:NAME", "NAME"},
        {"NAME", "NAME"},               {"\\\\server", ""},             {"\\\\server\\share", ""},
        {"\\\\server\\share\\x", "x"},  {"\x95\x5c", "\x95\x5c"},       {"a/\x95\x5c", "\x95\x5c"},
    };
    for (auto& c : cases) EXPECT_STREQ(pathTailStart(c.path), c.tail) << c.path;
}

TEST(Layout, FittedDisplayNames) {
    struct Case { const char* path; std::size_t width; const char* shown; } cases[] = {
        {"C:\\DIR\\SUBDIR\\FILE.TXT", 12, "FILE.TXT"},
        {"C:\\DIR\\SUBDIR\\FILE.TXT", 15, "SUBDIR\\FILE.TXT"},
        {"C:\\DIR\\SUBDIR\\FILE.TXT", 22, "C:\\DIR\\SUBDIR\\FILE.TXT"},
        {"C:\\VERYLONGNAMEXXXXXXXXX.TXT", 10, "VERYLONGNAMEXXXXXXXXX.TXT"},
        {"\\\\SERVER\\SHARE", 5, "SHARE"},
        {"\\\\SERVER\\SHARE", 3, ""},
        {"AB\x95\x5c" "CDEF", 5, "AB\x95\x5c" "CDEF"},  // a 0x5C second byte ends nothing
        {"dir/sub/FILE.TXT", 9, "FILE.TXT"},
    };
    for (auto& c : cases) {
        OwnedString shown = fitDisplayName(c.path, c.width);
        ASSERT_TRUE(shown);
        EXPECT_STREQ(shown.get(), c.shown) << c.path << " " << c.width;
    }
}

using Widest = Tavisk;

TEST_F(Widest, ResolvedOrTypedLengthAndSwitchesPassedOver) {
    fake::addFile("LONGERNAME.TXT");
    std::string a = "longername.txt", b = "missing-but-long-name", c = "-dash-names-do-not-count-at-all",
                d = "/switch-does-not-count-either";
    char* args[] = {nullptr, a.data(), b.data(), c.data(), d.data()};
    auto byFirstByte = [&args](int i) { return args[i][0] != '-' && args[i][0] != '/'; };
    EXPECT_EQ(widestNameLength(5, args, byFirstByte), b.size());
    EXPECT_EQ(widestNameLength(2, args, byFirstByte), a.size());
    EXPECT_EQ(widestNameLength(1, args, byFirstByte), 0u);
    // The run's own rule decides: a name after "--" or an absolute path counts.
    auto all = [](int) { return true; };
    EXPECT_EQ(widestNameLength(5, args, all), c.size());
}
