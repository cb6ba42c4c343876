#include "driver/arguments.h"

#include <string>
#include <vector>

#include "support.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

std::vector<std::string> split(const char* line) {
    ArgumentList list;
    EXPECT_TRUE(splitCommandLine(line, list));
    std::vector<std::string> out(list.items, list.items + list.count);
    releaseArguments(list);
    return out;
}

std::vector<std::string> vectorOf(const char* line) {
    int count = 0;
    Expansions expansions;
    char** v = buildArgumentVector(line, nullptr, 0, &count, expansions);
    return std::vector<std::string>(v, v + count);
}

}  // namespace

TEST(Split, QuotingRules) {
    struct Case { const char* line; std::vector<std::string> args; } cases[] = {
        {"p \"My File.TXT\"", {"p", "My File.TXT"}},
        {"p  a \t b", {"p", "a", "b"}},
        {"p a\\\"b", {"p", "a\"b"}},
        {"p a\\\\\"b c\"", {"p", "a\\b c"}},
        {"p a\\\\\\\"b", {"p", "a\\\"b"}},
        {"p a\\\\b", {"p", "a\\\\b"}},
        {"p dir\\", {"p", "dir\\"}},
        {"p \"a\"\"b\"", {"p", "a\"b"}},
        {"p \"a\"\"b c\"", {"p", "a\"b", "c"}},
        {"p \"\"", {"p", ""}},
        {"p \"\"\"", {"p", "\""}},
        {"\"prog\"/p", {"prog", "/p"}},
        {"C:\\my\"dir\\tool x", {"C:\\my\"dir\\tool", "x"}},
        {"\"C:\\a b\\t.exe\" x", {"C:\\a b\\t.exe", "x"}},
        {"p \x95\\\"a b\"", {"p", "\x95\\a b"}},   // 0x5C second byte, then a real quote
        {"p a\x81", {"p", "a\x81"}},               // lead byte as the last byte
        {"\x95\\ x", {"\x95\\", "x"}},             // program name with a 0x5C second byte
        {"p ", {"p"}},
        {"", {""}},
    };
    for (auto& c : cases) EXPECT_EQ(split(c.line), c.args) << c.line;
}

using Expand = Tavisk;

TEST_F(Expand, PatternsBecomeSortedStoredNames) {
    fake::addFile("TEST3.TXT");
    fake::addFile("test1.txt");
    fake::addFile("Test2.txt");
    fake::addFile("other.doc");
    fake::addDirectory("sub");
    fake::addFile("sub\\B.txt");
    fake::addFile("sub\\a.TXT");
    fake::addFile("\x95\x5c\x8e\xa6.txt");  // 表示.txt
    fake::addDirectory("\x95\x5c");
    fake::addFile("\x95\x5c\\x.txt");
    fake::addFile("sub\\C.TXT.tavisk~");  // a killed run's temporary name: never a match
    EXPECT_THAT(vectorOf("p *.TXT"),
                ElementsAre("p", "test1.txt", "Test2.txt", "TEST3.TXT", "\x95\x5c\x8e\xa6.txt"));
    EXPECT_THAT(vectorOf("p sub\\*.txt sub/*.txt sub\\C*"),
                ElementsAre("p", "sub\\a.TXT", "sub\\B.txt", "sub/a.TXT", "sub/B.txt", "sub\\C*"));
    EXPECT_THAT(vectorOf("p b* \"*.doc\" none*.x \\\"*.TXT /v* ab:*.txt"),
                ElementsAre("p", "b*", "other.doc", "none*.x", "\"*.TXT", "/v*", "ab:*.txt"));
    EXPECT_THAT(vectorOf("p \x95\x5c*.txt"), ElementsAre("p", "\x95\x5c\x8e\xa6.txt"));
    EXPECT_THAT(vectorOf("p \x95\x5c\\*.txt"), ElementsAre("p", "\x95\x5c\\x.txt"));
}

TEST_F(Expand, EqualFoldedNamesAreOrderedByBytes) {
    ArgumentList list;
    std::vector<std::string> texts = {"b", "ABC.TXT", "abc.txt", "Abc.txt", "a", "\xe0", "A\x81", "ab",
                                      // eight bytes and more
                                      "ABCDEFGH1", "abcdefgz", "[BCDEFGHI", "ABCDEFG\x82\xa0", "abcdefgh0"};
    for (std::string& text : texts) {
        char* copy = &text[0];
        list.items = static_cast<char**>(
            platform::reallocate(list.items, sizeof(char*) * static_cast<std::size_t>(list.count + 2)));
        list.items[list.count++] = copy;
        list.items[list.count] = nullptr;
    }
    sortMatches(list, 1);  // the first stays where it is
    std::vector<std::string> sorted(list.items, list.items + list.count);
    EXPECT_THAT(sorted, ElementsAreArray(std::vector<std::string>{
                            "b", "[BCDEFGHI", "a", "ab", "ABC.TXT", "Abc.txt", "abc.txt", "abcdefgh0", "ABCDEFGH1",
                            "abcdefgz", "ABCDEFG\x82\xa0", "A\x81", "\xe0"}));
    releaseArguments(list);
}

TEST_F(Expand, RunningOutOfMemoryEndsWith255) {
    fake::addFile("A.TXT");
    fake::addFile("B.TXT");
    for (long budget = 0; budget < 12; ++budget) {
        fake::state().err.clear();
        fake::state().allocationsUntilFailure = budget;
        int count = 0;
        int code = exitCodeOf([&] { buildArgumentVector("p *.TXT x", nullptr, 0, &count, run.expansions); });
        fake::state().allocationsUntilFailure = -1;
        if (code == -1) continue;  // enough memory this time; the next build releases the vector
        EXPECT_EQ(code, 255) << budget;
        EXPECT_EQ(fake::state().err, "\r\nruntime error R6008\r\n- not enough space for arguments\r\n");
    }
}

TEST_F(Expand, TheSystemsOwnListIsTakenAsItIs) {
    // Nothing is split again: quotes, blanks and a lone lead byte stay.
    const char* original[] = {"p", "a\x81", "\"b c\"", "*.NONE"};
    int count = 0;
    char** v = buildArgumentVector("", original, 4, &count, run.expansions);
    EXPECT_THAT(std::vector<std::string>(v, v + count), ElementsAre("p", "a\x81", "\"b c\"", "*.NONE"));
    // A list the system could not give for want of memory.
    EXPECT_EQ(exitCodeOf([&] { buildArgumentVector("", nullptr, -1, &count, run.expansions); }), 255);
}
