#include "help/help.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <initializer_list>

#include "config/listing.h"
#include "config/loader.h"
#include "console/ending.h"
#include "console/pager.h"
#include "platform/path_text.h"
#include "driver/settings.h"
#include "build_info.h"
#include "help/help_texts.h"
#include "sjis/messages.h"
#include "sjis/sjis.h"

namespace {

constexpr char fixedName[] = "tavisk";
constexpr char version[] = TAVISK_VERSION;

void line(const char* s) {
    platform::writeOut(s, std::strlen(s));
    platform::writeOut("\n", 1);
}

// A text that names switches, as this platform's command line takes them:
// each '/' that starts a character becomes the introducer.
std::string switches(const char* s) {
    char introducer = platform::commandLineDialect().introducer;
    if (introducer == '/') return s;
    std::string out;
    for (const char* p = s; *p; ++p) {
        if (isSjisLead(static_cast<unsigned char>(*p)) && p[1]) {
            out += *p++;
            out += *p;
            continue;
        }
        // GNU ways write the undo as a long switch.
        if (*p == '/' && platform::commandLineDialect().gnu && std::strncmp(p, "/undo", 5) == 0) out += introducer;
        out += *p == '/' ? introducer : *p;
    }
    return out;
}

void switchLine(const char* s) { line(switches(s).c_str()); }

void blank() { platform::writeOut("\n", 1); }

// A Quit leaves the rest of the screen unwritten, its blank line too.
Paged pageBreak(HelpPager& pager) {
    if (helpPause(pager, promptText) == Paged::quit) return Paged::quit;
    blank();
    return Paged::going;
}

void lines(std::initializer_list<const char*> texts) {
    for (const char* s : texts) switchLine(s);
}

void banner(const char* date) {
    line(text::title);
    printOut("%s  %s  %s\n", fixedName, version, date);
    printOut("Copyright (C) 1996-%.4s  All rights reserved.\n", date);
    blank();
}

Paged switchSection(HelpPager& pager, const char* name) {
    printOut(text::usage, name);
    blank();
    lines({text::f1, text::f2, text::f3, text::f4});
    blank();
    lines({text::l1, text::l2});
    blank();
    lines({text::k1, text::k2});
    blank();
    lines({text::letters1, text::letters2});
    blank();
    lines({text::c1, text::c2});
    if (pageBreak(pager) == Paged::quit) return Paged::quit;
    lines({text::s1, text::s2, text::a1, text::a2});
    blank();
    lines({text::walk1, text::walk2, text::walk3, text::walk4});
    blank();
    // GNU ways name the long switches with two dashes.
    bool gnu = platform::commandLineDialect().gnu;
    lines({gnu ? text::porcelainGnu : text::porcelain1, text::porcelain2,
           gnu ? text::progressGnu : text::progress1});
    pageBreak(pager);
    lines({text::v1, text::v2, text::v3, text::v4, text::v5, text::v6, text::v7, text::v8,
           text::v8s, text::v9});
    blank();
    lines({text::t1, text::t2});
    blank();
    lines({text::p1, text::p2});
    blank();
    switchLine(text::h1);
    if (platform::commandLineDialect().gnu) lines({text::h1gnu, text::h2gnu});
    blank();
    // How a Linux disk's names are written is Linux's alone.
    if (platform::commandLineDialect().gnu) {
        lines({text::n1, text::n2});
        blank();
    }
    line(text::exitHeading);
    printOut(text::exit0, 0);
    printOut(text::exit1, 1);
    printOut(text::exit2, 2);
    return pageBreak(pager);
}

Paged journalSection(HelpPager& pager) {
    line(text::journalHeading);
    lines({text::j1, text::j2});
    blank();
    if (platform::commandLineDialect().gnu)
        lines({text::u1gnu, text::u2gnu, text::u3gnu});
    else
        lines({text::u1, text::u2, text::u3});
    blank();
    printOut(text::journal1, platform::keptJournals);
    lines({text::journal2, text::journal3});
    std::string folder, shown;
    platform::journalFolder(folder, false);
    if (folder.empty() || !platform::commandText(folder.c_str(), shown)) shown = folder;
    printOut(text::journalPath, shown.c_str());
    return pageBreak(pager);
}

std::string example(const char* format);

Paged aboutAndNotes(HelpPager& pager, const char* name) {
    // The prompt's own '/' stays as it is.
    for (const Text* s : {&text::aboutHeading, &text::about1, &text::about2, &text::about3})
        line(*s);
    lines({text::about4, text::about5});
    line(text::about6);
    lines({text::about7});
    if (pageBreak(pager) == Paged::quit) return Paged::quit;
    line(text::noteHeading);
    // Linux has no executable's extension, and keeps the cases of names apart.
    bool shell = platform::commandLineDialect().shell;
    if (!shell) printOut(text::note1, name);
    lines({text::note2, text::noteLetters, shell ? text::note3gnu : text::note3, text::note4});
    printOut(example(text::note5).c_str(), name);
    if (!shell) line(text::note6);  // 8.3 aliases are Windows's
    if (platform::commandLineDialect().everySlashSeparates) {
        line(text::noteSlash);  // its '/' is a path's, no switch
        line(text::noteForeign);
    }
    return pageBreak(pager);
}

HelpOutcome configSection(HelpPager& pager, const char* name, const char* programPath) {
    line(text::configHeading);
    printOut(platform::commandLineDialect().shell ? text::config1gnu : text::config1, name);
    blank();
    OwnedString path = configPathFor(programPath);
    if (!path) return HelpOutcome::outOfMemory;
    // Linux looks in several places: where none holds a file, all are named.
    std::FILE* probe = platform::commandLineDialect().shell ? platform::openForReading(path.get()) : nullptr;
    if (platform::commandLineDialect().shell && !probe)
        printOut(text::configNone, platform::configurationSearch(path.get()).c_str());
    else
        printOut(text::configPath, path.get());
    if (probe) std::fclose(probe);
    printOut("%s", text::configCurrent.str());
    if (listConfigSwitches(path.get(), settings.switchChar) == ConfigOutcome::outOfMemory) return HelpOutcome::outOfMemory;
    char c = settings.switchChar;
    const platform::CommandLineDialect& dialect = platform::commandLineDialect();
    if (c == '/' || c == dialect.introducer || c == '\0') {
        printOut("%s", switches(text::switchOnly).c_str());
    } else {
        printOut(switches(text::switchBoth).c_str(), c);
        printOut(switches(text::switchSame1).c_str(), c);
        // With GNU ways one argument holds one switch.
        if (!dialect.gnu) printOut(text::switchSame2, c, c);
        printOut(text::switchBlank, c);
    }
    return pageBreak(pager) == Paged::quit ? HelpOutcome::quit : HelpOutcome::shown;
}

// An example as this platform's command line takes it: where a shell expands
// wildcards before the command sees them, a word holding '*' is quoted.
std::string example(const char* format) {
    std::string shown = switches(format);
    if (!platform::commandLineDialect().shell) return shown;
    std::string quoted;
    std::size_t start = 0;
    while (start <= shown.size()) {
        std::size_t end = shown.find(' ', start);
        if (end == std::string::npos) end = shown.size();
        std::string word = shown.substr(start, end - start);
        quoted += word.find('*') != std::string::npos ? "'" + word + "'" : word;
        if (end < shown.size()) quoted += ' ';
        start = end + 1;
    }
    return quoted;
}

void examples(const char* name) {
    line(text::exampleHeading);
    for (const Text* format :
         {&text::ex01, &text::ex02, &text::ex03, &text::ex04, &text::ex05, &text::ex06, &text::ex07,
          &text::ex08, &text::ex09, &text::ex10, &text::ex11, &text::ex12, &text::ex13, &text::ex14,
          &text::ex15, &text::ex16, &text::ex17, &text::ex17s, &text::ex17a, &text::ex19, &text::ex18})
        printOut(example(*format).c_str(), name);
}

}  // namespace

OwnedString commandNameFromPath(const char* path) {
    OwnedString name = duplicateString(path);
    if (!name) return nullptr;
    // Drop the extension where there is one: a POSIX executable has none.
    char* extension = pathExtension(name.get());
    if (extension) extension[-1] = '\0';
    const char* start = finalComponent(name.get());
    if (start != name.get()) std::memmove(name.get(), start, std::strlen(start) + 1);
    return name;
}

const char* buildDateText(const char* compilerDate) {
    static char date[16];
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    int month = 0;
    for (int i = 0; i < 12; ++i)
        if (equalFirstN(compilerDate, months + 3 * i, 3)) {
            month = i + 1;
            break;
        }
    int day = std::atoi(compilerDate + 4);
    std::snprintf(date, sizeof date, "%.4s-%02d-%02d", compilerDate + 7, month, day);
    return date;
}

const char* buildDateText() { return buildDateText(TAVISK_BUILD_DATE); }

HelpOutcome showHelp(HelpPager& pager, const char* programPath) {
    setUpHelpPager(pager, 1);
    OwnedString commandName;
    if (programPath[0] != '\0') {
        commandName = commandNameFromPath(programPath);
        if (!commandName) return HelpOutcome::outOfMemory;
    }
    const char* name = commandName ? commandName.get() : fixedName;
    banner(buildDateText());
    if (switchSection(pager, name) == Paged::quit || journalSection(pager) == Paged::quit ||
        aboutAndNotes(pager, name) == Paged::quit)
        return HelpOutcome::quit;  // the rest of the screen unwritten
    HelpOutcome config = configSection(pager, name, programPath[0] != '\0' ? programPath : fixedName);
    if (config != HelpOutcome::shown) return config;
    examples(name);
    return HelpOutcome::shown;
}

void showVersion(const char* programPath) {
    OwnedString commandName;
    if (programPath[0] != '\0') commandName = commandNameFromPath(programPath);
    printOut("%s %s %s\n", commandName ? commandName.get() : fixedName, version, buildDateText());
}
