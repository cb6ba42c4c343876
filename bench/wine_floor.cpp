// The floor for tavisk.exe under Wine, where every case-only rename goes
// through a temporary name: per *.TXT entry a lookup and the two moves,
// nothing else.
#include <windows.h>

#include <cctype>
#include <string>
#include <vector>

int main() {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA("*.TXT", &found);
    if (h == INVALID_HANDLE_VALUE) return 1;
    do names.push_back(found.cFileName);
    while (FindNextFileA(h, &found));
    FindClose(h);
    for (const std::string& name : names) {
        HANDLE one = FindFirstFileA(name.c_str(), &found);
        if (one == INVALID_HANDLE_VALUE) return 1;
        FindClose(one);
        std::string temporary = name + ".tmp~";
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!MoveFileA(name.c_str(), temporary.c_str()) || !MoveFileA(temporary.c_str(), lower.c_str()))
            return 1;
    }
    return 0;
}
