// The floor for a lower-casing run: one rename(2) per name, nothing else.
// Lists the directory once, then renames every *.TXT name to its lower case.
#include <dirent.h>
#include <stdio.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

int main() {
    DIR* dir = opendir(".");
    if (!dir) return 1;
    std::vector<std::string> names;
    while (dirent* e = readdir(dir)) {
        std::size_t n = std::strlen(e->d_name);
        if (n > 4 && std::strcmp(e->d_name + n - 4, ".TXT") == 0) names.push_back(e->d_name);
    }
    closedir(dir);
    for (const std::string& name : names) {
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (rename(name.c_str(), lower.c_str()) != 0) return 1;
    }
    return 0;
}
