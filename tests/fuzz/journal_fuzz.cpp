// libFuzzer target: any bytes as the last run's journal, taken back by /undo
// over a small tree, going on after failures, then only previewed. Whatever
// the bytes, the run ends with a code and every entry is still there. The
// same bytes as names, written as a record, read back as they were.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "convert/journal.h"
#include "platform/fake_platform.h"
#include "process.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string oldName = bytes.substr(0, size / 2), newName = bytes.substr(size / 2);
    if (!oldName.empty() && !newName.empty()) {
        JournalText text;
        text.text.append(journalHeader);
        text.sealedTo = text.text.size;
        appendJournalRecord(text, "/d/", {size, size * 7}, oldName, newName);
        sealJournalWindow(text);
        JournalContents contents;
        unsigned long line = 0;
        const std::vector<JournalRecord>& read = contents.records;
        if (!parseJournal(std::string(text.text.view()), contents, &line) || read.size() != 1 ||
            read[0].oldName != oldName || read[0].newName != newName || read[0].identity.file != size * 7)
            std::abort();
    }
    for (const char* mode : {"/c", "/test"}) {
        startFakeProcess();
        fake::addFile("A.TXT");
        fake::addDirectory("SUB");
        fake::addFile("SUB\\b.txt");
        fake::state().journals["J:\\tavisk\\00000001.journal"] = std::string(reinterpret_cast<const char*>(data), size);
        runTavisk({"/undo", mode});
        if (fake::listing().size() != 4) std::abort();  // the executable and the three
    }
    return 0;
}
