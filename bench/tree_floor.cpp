// The floor for `tavisk /s '*'`: a plain walk that renames every entry of a
// tree to its lower case, the contents of a directory before the directory.
#include <dirent.h>
#include <stdio.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

static bool lowerTree(const std::string& directory) {
    DIR* dir = opendir(directory.c_str());
    if (!dir) return false;
    std::vector<std::pair<std::string, bool>> entries;
    while (dirent* e = readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        entries.emplace_back(e->d_name, e->d_type == DT_DIR);
    }
    closedir(dir);
    for (auto& [name, isDirectory] : entries)
        if (isDirectory && !lowerTree(directory + "/" + name)) return false;
    for (auto& [name, isDirectory] : entries) {
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower != name && rename((directory + "/" + name).c_str(), (directory + "/" + lower).c_str()) != 0)
            return false;
    }
    return true;
}

int main() { return lowerTree(".") ? 0 : 1; }
