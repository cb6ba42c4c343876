// What the preview knows of each path it has met: taken by a rename it
// found possible, or left by one. An open-addressed table over one arena of
// path texts: two paths a name, no allocation of its own for each.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

enum class PathState : unsigned char { none, taken, left };

class PathStates {
public:
    PathState at(std::string_view path) const {
        if (slots.empty()) return PathState::none;
        std::size_t i = find(path, hash(path));
        return slots[i] ? paths[slots[i] - 1].state : PathState::none;
    }

    void set(std::string_view path, PathState state) {
        if (2 * (paths.size() + 1) > slots.size()) grow();
        uint64_t h = hash(path);
        std::size_t i = find(path, h);
        if (!slots[i]) {
            paths.push_back({h, static_cast<uint32_t>(texts.size()), static_cast<uint32_t>(path.size()), state});
            texts.append(path);
            slots[i] = static_cast<uint32_t>(paths.size());
            return;
        }
        paths[slots[i] - 1].state = state;
    }

    bool empty() const { return paths.empty(); }

    void clear() { *this = PathStates{}; }

private:
    struct Path {
        uint64_t hash;
        uint32_t start, length;  // in `texts`
        PathState state;
    };
    std::vector<uint32_t> slots;  // 0: free; else the number of a path, from 1
    std::vector<Path> paths;
    std::string texts;

    std::string_view text(const Path& p) const { return std::string_view(texts).substr(p.start, p.length); }

    // Eight bytes at a time: paths share long beginnings.
    static uint64_t hash(std::string_view s) {
        constexpr uint64_t k = 0x9E3779B97F4A7C15ull;
        uint64_t h = s.size() * k;
        std::size_t i = 0;
        for (; i + 8 <= s.size(); i += 8) {
            uint64_t word;
            std::memcpy(&word, s.data() + i, 8);
            h = (h ^ word) * k;
            h ^= h >> 29;
        }
        uint64_t tail = 0;
        if (i < s.size() && s.size() >= 8) {
            std::memcpy(&tail, s.data() + s.size() - 8, 8);  // overlaps the last word
        } else {
            for (; i < s.size(); ++i) tail = tail << 8 | static_cast<unsigned char>(s[i]);
        }
        h = (h ^ tail) * k;
        return h ^ (h >> 32);
    }

    // The slot of `path` (its hash `h`), or the free one where it would go.
    std::size_t find(std::string_view path, uint64_t h) const {
        std::size_t mask = slots.size() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask)
            if (!slots[i] || (paths[slots[i] - 1].hash == h && text(paths[slots[i] - 1]) == path)) return i;
    }

    void grow() {
        std::vector<uint32_t> old = std::move(slots);
        slots.assign(old.empty() ? 64 : 2 * old.size(), 0);
        std::size_t mask = slots.size() - 1;
        for (uint32_t number : old) {
            if (!number) continue;
            std::size_t i = paths[number - 1].hash & mask;
            while (slots[i]) i = (i + 1) & mask;
            slots[i] = number;
        }
    }
};
