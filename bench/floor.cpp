// The floor for a lower-casing run: one rename(2) per name, nothing else.
// Lists the directory once, then renames every *.TXT name to its lower case,
// in the order of the listing, or with `sorted` as its argument in the sorted
// order that tavisk must keep (which walks a large directory's index less
// kindly). With `verified`, in sorted order, each name is also looked up
// (lstat) just before a rename that never replaces: the least that a run
// checking each entry on the disk can do.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    DIR* dir = opendir(".");
    if (!dir) return 1;
    std::vector<std::string> names;
    while (dirent* e = readdir(dir)) {
        std::size_t n = std::strlen(e->d_name);
        if (n > 4 && std::strcmp(e->d_name + n - 4, ".TXT") == 0) names.push_back(e->d_name);
    }
    closedir(dir);
    bool verified = argc > 1 && std::strcmp(argv[1], "verified") == 0;
    if (verified || (argc > 1 && std::strcmp(argv[1], "sorted") == 0)) std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        struct stat st;
        if (verified && (lstat(name.c_str(), &st) != 0 ||
                         renameat2(AT_FDCWD, name.c_str(), AT_FDCWD, lower.c_str(), RENAME_NOREPLACE) != 0))
            return 1;
        if (!verified && rename(name.c_str(), lower.c_str()) != 0) return 1;
    }
    return 0;
}
