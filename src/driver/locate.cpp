#include "driver/run.h"

#include "platform/platform.h"
#include "sjis/sjis.h"

namespace {

// The stored name of the entry `path` designates, looked up in its directory's
// default search order. Where memory runs out, `noMemory` is set.
OwnedString searchFor(const char* path, bool& noMemory) {
    platform::FindData found;
    platform::SearchHandle h = platform::FindFirstFileA(path, &found);
    if (!h) return nullptr;
    platform::FindClose(h);
    char probe[1];
    unsigned needed = platform::SearchPathA(found.fileName, sizeof probe, probe);
    if (needed == 0) return nullptr;
    char* full = static_cast<char*>(platform::allocate(needed + 1));
    if (!full) {
        noMemory = true;
        return nullptr;
    }
    unsigned written = platform::SearchPathA(found.fileName, needed + 1, full);
    if (written == 0 || written > needed) {
        platform::release(full);
        return nullptr;
    }
    return OwnedString(full);
}

OwnedString modulePath(bool& noMemory) {
    char module[platform::maxPath];
    unsigned n = platform::GetModuleFileNameA(module, sizeof module);
    if (n == 0 || n >= sizeof module) return nullptr;
    OwnedString path = duplicateString(module);
    noMemory = noMemory || !path;
    return path;
}

}  // namespace

OwnedString locateExecutable(const char* typed, bool* outOfMemory) {
    bool noMemory = false;
    OwnedString found;
    if (pathExtension(typed)) {
        found = searchFor(typed, noMemory);
    } else {
        OwnedString module = modulePath(noMemory);
        if (module) found = searchFor(module.get(), noMemory);
    }
    if (outOfMemory) *outOfMemory = noMemory;
    return found;
}

OwnedString runningExecutable(const char* typed, bool* outOfMemory) {
    bool noMemory = false;
    OwnedString executable = locateExecutable(typed, &noMemory);
    // Typed with its extension from another directory, the command does not
    // find itself by the typed name; its own module path still says where it is.
    if (!executable && !noMemory) {
        OwnedString module = modulePath(noMemory);
        if (module) executable = searchFor(module.get(), noMemory);
        if (!executable) executable = std::move(module);
    }
    *outOfMemory = noMemory;
    return executable;
}
