// The POSIX backend on a real temporary directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "convert/path.h"
#include "driver/arguments.h"
#include "platform/glob.h"
#include "platform/platform.h"
#include "sjis/sjis.h"
#include "platform/posix_codeset.h"
#include "platform/posix_internal.h"
#include "temporary_directory.h"

namespace {

class PosixBackend : public TemporaryDirectoryTest {
protected:
    static void touch(const std::string& name, const std::string& content = "") {
        std::ofstream(name) << content;
    }
    static std::string lookup(const char* name) {
        platform::FindData data;
        platform::SearchHandle h = platform::FindFirstFileA(name, &data);
        if (!h) return "<none>";
        platform::FindClose(h);
        EXPECT_EQ(data.nameLength, std::strlen(data.fileName)) << name;  // the expansion trusts it
        return data.fileName;
    }
};

}  // namespace

TEST(Wildcards, MatchingRules) {
    struct Case { const char* pattern; const char* name; bool match; } cases[] = {
        {"*.TXT", "TEST1.txt", true},   {"*.TXT", "test2.TxT", true}, {"*.TXT", "a.txt.bak", false},
        {"?.txt", "a.txt", true},       {"?.txt", "ab.txt", false},   {"?.txt", "\x95\x5c.txt", true},
        {"??.txt", "\x95\x5c.txt", false}, {"*", ".hidden", true},    {"a*b*c", "aXbYc", true},
        {"a*b*c", "aXbY", false},       {"*\x82\x60", "x\x82\x60", true},
        {"*A", "\x82" "A", false},      // 'A' there is a second byte, not a letter
        {"\x82\x60*", "\x82\x81", false},  // full-width letters do not fold
        {"*.TXT", "ABCDEFGHIJ.txt", true}, {"*X", "ABCDEFGH\x82X", false},  // past eight bytes
        {"*@[", "ABCDEFGH`{", false},  {"*.TXT", "F0000000.TxT", true},  // the last word folded
        {"*ABCDEFGH", "XabcdefgH", true}, {"*ABCDEFGH", "abcdefgh", true}, {"*ABCDEFGH", "Xbcdefgh", false},
        {"*ABCDEFGHI", "XABCDEFGHi", true}, {"*.TXT", "A.TXT", true}, {"*.TXT", ".TX", false},
    };
    for (auto& c : cases) EXPECT_EQ(wildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST_F(PosixBackend, LookupGivesTheStoredNameAndNeverGuesses) {
    touch("ReadMe.txt");
    touch("BOTH.txt");
    touch("both.TXT");
    mkdir("docs", 0755);
    touch("docs/Guide.TXT");
    EXPECT_EQ(lookup("README.TXT"), "ReadMe.txt");
    EXPECT_EQ(lookup("ReadMe.txt"), "ReadMe.txt");
    EXPECT_EQ(lookup("docs\\GUIDE.txt"), "<none>");  // only '/' separates
    EXPECT_EQ(lookup("docs/guide.txt"), "Guide.TXT");
    EXPECT_EQ(lookup("BOTH.txt"), "BOTH.txt");    // the exact name first
    EXPECT_EQ(lookup("Both.Txt"), "<none>");      // two candidates: none of them
    EXPECT_EQ(lookup("missing"), "<none>");
    EXPECT_EQ(lookup(""), "<none>");
    EXPECT_EQ(lookup("docs/"), "<none>");
    EXPECT_EQ(lookup("DOCS/GUIDE.txt"), "Guide.TXT");  // directories are found like names
    EXPECT_EQ(lookup("DOCS\\nope"), "<none>");
    // The one index of spellings: how many, and which are stored exactly; it
    // follows the backend's own moves.
    struct Spelling { const char* path; const char* other; int count; bool exact, otherExact; } spellings[] = {
        {"README.TXT", "readme.txt", 1, false, false}, {"ReadMe.txt", "README.TXT", 1, true, false},
        {"BOTH.txt", "both.TXT", 2, true, true},       {"docs/GUIDE.TXT", "docs/Guide.TXT", 1, false, true},
        {"missing", "MISSING", 0, false, false},
    };
    for (const Spelling& s : spellings) {
        platform::Spellings got = platform::spellingsOf(s.path, s.other);
        EXPECT_EQ(got.count, s.count) << s.path;
        EXPECT_EQ(got.path, s.exact) << s.path;
        EXPECT_EQ(got.other, s.otherExact) << s.path;
    }
    ASSERT_TRUE(platform::moveEntry("ReadMe.txt", "readme.TXT"));
    platform::Spellings moved = platform::spellingsOf("readme.TXT", "ReadMe.txt");
    EXPECT_TRUE(moved.count == 1 && moved.path && !moved.other);
    platform::FindData found;
    platform::EntryIdentity identity;
    ASSERT_TRUE(platform::lookUpEntry("README.txt", &found) && platform::entryIdentity("readme.TXT", &identity));
    EXPECT_TRUE(found.identified && found.identity == identity);  // one question gives both
    EXPECT_STREQ(found.fileName, "readme.TXT");
    // A listing that wants one ending passes over the rest before anything else.
    touch("X.TXT.tavisk~");
    touch("Y.TXT.TAVISK~");
    std::vector<std::string> ending = listEntries("", nullptr, ".tavisk~");
    std::sort(ending.begin(), ending.end());
    EXPECT_EQ(ending, (std::vector<std::string>{"X.TXT.tavisk~", "Y.TXT.TAVISK~"}));
    touch("Q?.TXT");
    touch("QZ.TXT");
    touch("CD\x81");
    disk.forget();  // a run takes its directories as it first finds them
    EXPECT_EQ(lookup("Q?.TXT"), "Q?.TXT");   // a name that is itself a pattern comes first
    EXPECT_EQ(lookup("cd\x81"), "CD\x81");  // a lone lead byte at the end
    EXPECT_EQ(platform::GetFileAttributesA("docs") & platform::attributeDirectory,
              platform::attributeDirectory);
    EXPECT_EQ(platform::GetFileAttributesA("nope"), platform::invalidAttributes);
}

TEST_F(PosixBackend, ABackslashIsAByteOfTheName) {
    touch("A\\B.TXT");
    mkdir("A", 0755);
    touch("A/B.TXT", "other");
    touch("\x83\x5C.TXT");  // a second byte 0x5C
    std::string typed;
    ASSERT_TRUE(platform::codeset::fromTerminal("A\\B.TXT", typed));
    EXPECT_EQ(sjisFindFirst(typed.c_str(), '\\'), nullptr);  // a stand-in: no separator for the command
    std::vector<std::string> listed = listEntries("", nullptr, ".TXT");
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{typed, "\x83\x5C.TXT"}));
    EXPECT_EQ(lookup(typed.c_str()), typed);
    EXPECT_EQ(lookup("\x83\x5C.txt"), "\x83\x5C.TXT");
    std::string lowered = typed;
    lowered.replace(lowered.size() - 5, 5, "B.txt");
    lowered[0] = 'a';
    ASSERT_TRUE(platform::moveEntry(typed.c_str(), lowered.c_str()));
    EXPECT_EQ(access("a\\B.txt", F_OK), 0);
    std::ifstream other("A/B.TXT");
    std::string content;
    other >> content;
    EXPECT_EQ(content, "other");
}

TEST_F(PosixBackend, MoveNeverReplaces) {
    touch("README.TXT", "upper");
    touch("readme.txt", "lower");
    EXPECT_FALSE(platform::moveEntry("README.TXT", "readme.txt"));
    std::ifstream upper("README.TXT"), lower("readme.txt");
    std::string u, l;
    upper >> u;
    lower >> l;
    EXPECT_EQ(u, "upper");
    EXPECT_EQ(l, "lower");
    EXPECT_TRUE(platform::moveEntry("README.TXT", "other.txt"));
    EXPECT_EQ(lookup("other.txt"), "other.txt");
    // Told where both names begin, a move beside the last one takes its paths
    // as they are; told wrongly, or with a separator in a name, it is refused
    // or made as any other.
    mkdir("docs", 0755);
    mkdir("x", 0755);
    for (const char* name : {"docs/A.TXT", "docs/B.TXT", "docs/C.TXT", "docs/D.TXT", "docs/E.TXT", "docs/\x95\x5c.TXT"})
        touch(name);
    struct Told { const char* from; const char* to; std::size_t nameAt; bool moved; const char* found; } rows[] = {
        {"docs/A.TXT", "docs/a.txt", 5, true, "docs/a.txt"},
        {"docs/B.TXT", "docs/b.txt", 5, true, "docs/b.txt"},  // beside the last: its own system path
        {"docs/C.TXT", "x/c.txt", 5, false, "docs/C.TXT"},    // not beside it after all
        {"docs/C.TXT", "docs/sub/c", 5, false, "docs/C.TXT"},
        {"docs/D.TXT", "docs/d.txt", 3, true, "docs/d.txt"},  // told wrongly: found as any other
        {"docs/\x95\x5c.TXT", "docs/\x95\x5c.txt", 5, true, "docs/\x95\x5c.txt"},  // a second byte 0x5C
        {"docs/E.TXT", "docs/d.txt", 5, false, "docs/E.TXT"},  // never onto another
    };
    for (const Told& row : rows) {
        platform::MoveNotes notes;
        notes.nameAt = row.nameAt;
        EXPECT_EQ(platform::moveEntry(row.from, row.to, platform::MoveTarget::shared, &notes), row.moved) << row.to;
        std::string found = row.found;
        EXPECT_EQ("docs/" + lookup(row.found), found) << row.to;
    }
    // A search that reads a directory whole tells whether it holds a name of
    // the noticed ending, hidden ones too, until a move makes one there.
    platform::noticeEnding(".tavisk~");
    auto readWhole = [](const char* pattern) {
        platform::FindData data;
        platform::SearchHandle h = platform::FindFirstFileA(pattern, &data);
        while (h && platform::FindNextFileA(h, &data)) EXPECT_EQ(data.nameLength, std::strlen(data.fileName));
        if (h) platform::FindClose(h);
    };
    touch("x/.H.TXT.tavisk~");
    touch("x/A.TXT");
    EXPECT_FALSE(platform::holdsNoneEnding("x/"));  // not read yet
    readWhole("x/*.TXT");
    readWhole("docs/*.TXT");
    EXPECT_FALSE(platform::holdsNoneEnding("x/"));
    EXPECT_TRUE(platform::holdsNoneEnding("docs/"));
    EXPECT_TRUE(platform::moveEntry("docs/a.txt", "docs/a.txt.TAVISK~"));
    EXPECT_FALSE(platform::holdsNoneEnding("docs/"));
}

TEST_F(PosixBackend, EnvironmentLookupIgnoresCase) {
    setenv("TaviskTestVar", "value", 1);
    EXPECT_STREQ(platform::getEnvironmentVariable("TAVISKTESTVAR"), "value");
    EXPECT_STREQ(platform::getEnvironmentVariable("tavisktestvar"), "value");
    EXPECT_EQ(platform::getEnvironmentVariable("TaviskTestVa"), nullptr);
}
