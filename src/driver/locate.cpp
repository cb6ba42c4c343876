#include "driver/run.h"

#include "platform/platform.h"
#include "sjis/sjis.h"

namespace {

// The stored name of the entry `path` designates, looked up in its directory's
// default search order.
OwnedString searchFor(const char* path) {
    platform::FindData found;
    platform::SearchHandle h = platform::FindFirstFileA(path, &found);
    if (!h) return nullptr;
    platform::FindClose(h);
    char probe[1];
    unsigned needed = platform::SearchPathA(found.fileName, sizeof probe, probe);
    if (needed == 0) return nullptr;
    char* full = static_cast<char*>(platform::allocate(needed + 1));
    if (!full) return nullptr;
    unsigned written = platform::SearchPathA(found.fileName, needed + 1, full);
    if (written == 0 || written > needed) {
        platform::release(full);
        return nullptr;
    }
    return OwnedString(full);
}

OwnedString modulePath() {
    char module[platform::maxPath];
    unsigned n = platform::GetModuleFileNameA(module, sizeof module);
    if (n == 0 || n >= sizeof module) return nullptr;
    return duplicateString(module);
}

}  // namespace

OwnedString locateExecutable(const char* typed) {
    if (pathExtension(typed)) return searchFor(typed);
    OwnedString module = modulePath();
    return module ? searchFor(module.get()) : nullptr;
}

OwnedString runningExecutable(const char* typed) {
    OwnedString executable = locateExecutable(typed);
    // Typed with its extension from another directory, the command does not
    // find itself by the typed name; its own module path still says where it is.
    if (!executable) {
        OwnedString module = modulePath();
        if (module) executable = searchFor(module.get());
        if (!executable) executable = std::move(module);
    }
    return executable;
}
