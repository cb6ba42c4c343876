#include <cstdio>
#include <string>

#include "config/expand.h"
#include "config/listing.h"
#include "config/loader.h"
#include "config/reader.h"
#include "driver/settings.h"
#include "support.h"

namespace {

struct Read {
    int result;
    std::string text;
    int kind;
};

// Every line of `content` as the loader sees it, through the line-end rule.
std::vector<Read> readAll(const std::string& content) {
    std::FILE* f = std::tmpfile();
    std::fwrite(content.data(), 1, content.size(), f);
    std::rewind(f);
    ConfigLines lines{f};
    std::vector<Read> all;
    static char buffer[configLineCapacity];
    for (;;) {
        int r = nextConfigLine(lines, buffer, configLineCapacity);
        all.push_back({r, r == lineRead ? buffer : "", lines.lineEndKind});
        if (r != lineRead) break;
    }
    std::fclose(f);
    return all;
}

std::string results(const std::vector<Read>& reads) {
    std::string s;
    for (auto& r : reads) s += std::to_string(r.result) + "[" + r.text + "]";
    return s;
}

}  // namespace

TEST(Reader, LinesCommentsAndByteClasses) {
    struct Case { std::string content; std::string lines; } cases[] = {
        {"", "-1[]"},
        {"  /c\t; note\r\n", "0[/c]-1[]"},
        {"#all comment\n \t \n", "0[]0[]-1[]"},
        {"/c#x\n/v=ce k\n", "0[/c]0[/v=ce k]-1[]"},
        {"/p", "0[/p]-1[]"},
        {"/p\n\x1a", "0[/p]-1[]"},
        {"/p\x1a", "0[/p]-1[]"},
        {"/p\x1a\n", "-2[]"},
        {std::string("a\x07\x08\x1b\x80\xfe", 6) + "\n", "0[a\x07\x08\x1b\x80\xfe]-1[]"},
        {"a\x7f\n", "-2[]"},
        {"a\xff\n", "-2[]"},
        {"a\x01\n", "-2[]"},
        {"a # \x1f\n", "-2[]"},                // also inside a comment
        {"\x95\x5c\x95\x7c\n", "0[\x95\x5c\x95\x7c]-1[]"},
        {"/c\r\n/k\r\n/l\n", "0[/c]0[/k]-3[]"},
        {"/c\n/k\r/l\r", "0[/c]-3[]"},          // LF then a lone CR
        {"/c\r/k\r", "0[/c]0[/k]-1[]"},
        {"/c\r\n/k", "0[/c]0[/k]-1[]"},          // last line without an end
        {std::string("a\0b\n", 4), "0[a]-1[]"},  // the stored string ends at the NUL
    };
    for (auto& c : cases) EXPECT_EQ(results(readAll(c.content)), c.lines) << c.content;
    EXPECT_EQ(readAll("/c\r")[0].kind, lineEndCr);
    EXPECT_EQ(readAll("/c\r\n")[0].kind, lineEndCrLf);
}

TEST(Reader, OverLongLinesAreCutAndTheNextLineReadWhole) {
    for (std::size_t length : {10240u, 10241u, 20000u}) {
        auto reads = readAll(std::string(length, 'x') + "\n/c\n");
        ASSERT_EQ(reads.size(), 3u);
        EXPECT_EQ(reads[0].text.size(), std::min<std::size_t>(length, 10240));
        EXPECT_EQ(reads[1].text, "/c");
    }
}

using Expansion = Tavisk;

namespace {

std::string expand(const std::string& line, std::size_t limit = 1023) {
    LineBuffer buffer{static_cast<char*>(platform::allocate(configLineCapacity)), configLineCapacity};
    std::snprintf(buffer.text, configLineCapacity, "%s", line.c_str());
    std::vector<char> name(limit + 2);
    EXPECT_TRUE(expandVariables(buffer, name.data(), limit));
    std::string out = buffer.text;
    platform::release(buffer.text);
    return out;
}

}  // namespace

TEST_F(Expansion, TokensAndTheirEdges) {
    auto& env = fake::state().environment;
    env["sw"] = "/p";
    env["A"] = "x";
    env["V"] = "%B%";
    env["B"] = "never";
    struct Case { const char* line; const char* result; } cases[] = {
        {"%SW%", "/p"},         {"/v=%UNSET%ce", "/v=ce"}, {"100%%", "100"},
        {"a%b", "a%b"},         {"%A%B%", "xB%"},          {"%V%", "%B%"},
        {"%A%%A%", "xx"},       {"\x81%A%", "\x81%A%"},    // the '%' after a lead byte is a second byte
    };
    for (auto& c : cases) EXPECT_EQ(expand(c.line), c.result) << c.line;
    std::string name1022(1022, 'N'), name1023(1023, 'N');
    env[name1022] = "long";
    env[name1023] = "longer";
    EXPECT_EQ(expand("%" + name1022 + "%"), "long");
    EXPECT_EQ(expand("%" + name1023 + "%"), "%" + name1023 + "%");
    EXPECT_EQ(expand("%" + name1022 + "%", 1022), "%" + name1022 + "%");
}

TEST_F(Expansion, AHugeValueGrowsTheLineInsteadOfOverrunningIt) {
    std::string value(100000, 'v');
    fake::state().environment["BIG"] = value;
    std::string line = std::string(10000, 'a') + "%BIG%%BIG%z";
    EXPECT_EQ(expand(line), std::string(10000, 'a') + value + value + "z");
}

using Loading = Tavisk;

TEST_F(Loading, FileSwitchesThenCommandLine) {
    auto& files = fake::state().files;
    files["C:\\tools\\tavisk.cfg"] = "/c\r\n# comment\r\n  /v=ce  ; note\r\n/l\r\n";
    loadConfig("C:\\tools\\tavisk.exe", &settings.switchChar);
    EXPECT_TRUE(settings.continueOnError);
    EXPECT_TRUE(settings.longMode);

    struct Case { const char* content; char switchChar; bool pause; } cases[] = {
        {"switch=-\n-p\n", '-', true},
        {"switch = -\n-p\n", '-', true},
        {"switchchar=-\n-p\n", '-', true},
        {"Switch=-\n-p\n", '/', false},
        {"switch=\n-p\n", '\0', false},
        {"switch=%SW%\n-p\n", '-', true},
        {"-p\nswitch=-\n", '-', false},  // a line before the key is no switch line
        // A line that expands to nothing is no switch line, whatever the
        // switch character; the variable's name is never taken for switches.
        {"switch=\n%P%\n", '\0', false},
        {"%P%\n", '/', false},
    };
    for (auto& c : cases) {
        startFakeProcess();
        fake::state().environment["SW"] = "-";
        fake::state().files["C:\\tools\\tavisk.cfg"] = c.content;
        loadConfig("C:\\tools\\tavisk.exe", &settings.switchChar);
        EXPECT_EQ(settings.switchChar, c.switchChar) << c.content;
        EXPECT_EQ(settings.pauseMode, c.pause) << c.content;
    }
}

TEST_F(Loading, BrokenFilesStopWithTheirLineNumber) {
    struct Case { const char* content; const char* message; bool firstApplied; } cases[] = {
        {"/c\n/l\n/k\x01\n", "3行目にバイナリ・データを検出しました。", true},
        {"/c\r\n/l\r\n/k\n", "3行目に異なる改行コードを検出しました。", true},
    };
    for (auto& c : cases) {
        startFakeProcess();
        fake::state().files["C:\\tools\\tavisk.cfg"] = c.content;
        int code = exitCodeOf([] { loadConfig("C:\\tools\\tavisk.exe", &settings.switchChar); });
        EXPECT_EQ(code, 1);
        EXPECT_EQ(settings.continueOnError && settings.longMode, c.firstApplied);
        EXPECT_FALSE(settings.kanjiMode);
        EXPECT_EQ(fake::state().err, "\n\a" + sj("処理停止:設定ファイル\"C:\\tools\\tavisk.cfg\"が異常です。") +
                                         sj(c.message) + "\n");
    }
}

TEST_F(Loading, NoFileIsNoError) {
    loadConfig("C:\\tools\\tavisk.exe", &settings.switchChar);
    EXPECT_EQ(fake::state().out + fake::state().err, "");
    OwnedString bare = configPathFor("/usr/local/bin/tavisk");
    EXPECT_STREQ(bare.get(), "/usr/local/bin/tavisk.cfg");
}

using Listing = Tavisk;

TEST_F(Listing, SwitchLinesOnOneLine) {
    auto& files = fake::state().files;
    struct Case { const char* content; char switchChar; const char* out; } cases[] = {
        {"/c\n/v=ce k\n/p\n", '/', "/c \"/v=ce k\" /p\n"},
        {"/v=ce k\n/p\n", '/', "\"/v=ce k\" /p\n"},
        {"# only\n\nplain\n", '/', "\n"},
        {"switch=-\n-p\n/c\n", '-', "-p /c\n"},
        {"/a%SP%b\n", '/', "\"/a b\"\n"},
    };
    for (auto& c : cases) {
        fake::state().out.clear();
        fake::state().environment["SP"] = " ";
        files["cfg"] = c.content;
        listConfigSwitches("cfg", c.switchChar);
        EXPECT_EQ(fake::state().out, c.out) << c.content;
    }
    fake::state().out.clear();
    listConfigSwitches("absent.cfg", '/');
    EXPECT_EQ(fake::state().out, sj("設定ファイルが存在しません。\n"));

    fake::state().out.clear();
    files["cfg"] = "/c\n\x02\n";
    EXPECT_EQ(exitCodeOf([] { listConfigSwitches("cfg", '/'); }), 1);
    EXPECT_EQ(fake::state().out, "/c\n");
}
