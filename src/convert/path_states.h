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
        return slots[i] ? states[slots[i] - 1] : PathState::none;
    }

    void set(std::string_view path, PathState state) {
        if (2 * (count + 1) > slots.size()) grow();
        uint64_t h = hash(path);
        std::size_t i = find(path, h);
        if (!slots[i]) {
            starts.push_back(static_cast<uint32_t>(texts.size()));
            hashes.push_back(h);
            texts.append(path);
            states.push_back(state);
            slots[i] = static_cast<uint32_t>(++count);
            return;
        }
        states[slots[i] - 1] = state;
    }

    bool empty() const { return count == 0; }

    void clear() { *this = PathStates{}; }

private:
    std::vector<uint32_t> slots;   // 0: free; else the number of a path, from 1
    std::vector<uint32_t> starts;  // where each path begins in `texts`
    std::vector<PathState> states;
    std::vector<uint64_t> hashes;  // of each path
    std::string texts;
    std::size_t count = 0;

    std::string_view text(uint32_t number) const {
        std::size_t start = starts[number - 1];
        std::size_t end = number < starts.size() ? starts[number] : texts.size();
        return std::string_view(texts).substr(start, end - start);
    }

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
        for (; i < s.size(); ++i) tail = tail << 8 | static_cast<unsigned char>(s[i]);
        h = (h ^ tail) * k;
        return h ^ (h >> 32);
    }

    // The slot of `path` (its hash `h`), or the free one where it would go.
    std::size_t find(std::string_view path, uint64_t h) const {
        std::size_t mask = slots.size() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask)
            if (!slots[i] || (hashes[slots[i] - 1] == h && text(slots[i]) == path)) return i;
    }

    void grow() {
        std::vector<uint32_t> old = std::move(slots);
        slots.assign(old.empty() ? 64 : 2 * old.size(), 0);
        std::size_t mask = slots.size() - 1;
        for (uint32_t number : old) {
            if (!number) continue;
            std::size_t i = hashes[number - 1] & mask;
            while (slots[i]) i = (i + 1) & mask;
            slots[i] = number;
        }
    }
};
