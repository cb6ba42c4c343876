// What the preview knows of each path it has met: taken by a rename it
// found possible, or left by one. An open-addressed table over one arena of
// path texts: one record a rename, no allocation of its own for each.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sjis/words.h"

enum class PathState : unsigned char { none, taken, left };

class PathStates {
public:
    // The state of `path` as the last rename that met it left it.
    PathState at(std::string_view path) const {
        Found found;
        if (!slots.empty()) probe(hash(path), path, found);
        return found.state;
    }
    // The same for the two paths of a rename, which share their hash where
    // they differ in the case of A-Z only: one walk of the table then.
    void at(std::string_view a, std::string_view b, PathState& atA, PathState& atB) const {
        Found foundA, foundB;
        if (!slots.empty()) {
            uint64_t h = hash(a), hb = hash(b);
            if (h == hb) {
                probe(h, a, foundA, &b, &foundB);
            } else {
                probe(h, a, foundA);
                probe(hb, b, foundB);
            }
        }
        atA = foundA.state;
        atB = foundB.state;
    }

    // A rename found possible: `from` left, `to` taken.
    void moved(std::string_view from, std::string_view to) {
        if (2 * (filled + 2) > slots.size()) grow();
        Rename r{hash(from), hash(to), texts.used, static_cast<uint32_t>(from.size()), static_cast<uint32_t>(to.size())};
        texts.append(from, to);
        renames.push_back(r);
        place(r.fromHash, static_cast<uint32_t>(renames.size()));
        // The new name differs from the old in the case of its letters, which
        // the hash does not see but where a letter is beyond A-Z.
        if (r.toHash != r.fromHash) place(r.toHash, static_cast<uint32_t>(renames.size()));
    }

    bool empty() const { return renames.empty(); }

    void clear() { *this = PathStates{}; }

private:
    struct Rename {
        uint64_t fromHash, toHash;
        uint32_t start, fromLength, toLength;  // in `texts`, the new path after the old
    };
    // The paths, each rename's two after each other: storage that grows
    // without being cleared first.
    struct Texts {
        std::unique_ptr<char[]> bytes;
        uint32_t used = 0, room = 0;
        void append(std::string_view a, std::string_view b) {
            std::size_t need = std::size_t{used} + a.size() + b.size();
            if (need > room) {
                std::size_t grown = std::max<std::size_t>(need, 2 * std::size_t{room} + 4096);
                std::unique_ptr<char[]> more(new char[grown]);
                if (used) std::memcpy(more.get(), bytes.get(), used);
                bytes = std::move(more);
                room = static_cast<uint32_t>(grown);
            }
            eightBytes::copy(bytes.get() + used, a.data(), a.size());
            eightBytes::copy(bytes.get() + used + a.size(), b.data(), b.size());
            used = static_cast<uint32_t>(need);
        }
    };
    std::vector<uint32_t> slots;  // 0: free; else the number of a rename, from 1
    std::vector<Rename> renames;
    Texts texts;
    std::size_t filled = 0;  // slots in use

    std::string_view from(const Rename& r) const { return {texts.bytes.get() + r.start, r.fromLength}; }
    std::string_view to(const Rename& r) const { return {texts.bytes.get() + r.start + r.fromLength, r.toLength}; }

    // Eight bytes at a time, A-Z folded (and the bytes from 0x80 on whose low
    // seven bits are such a letter, which the hash may fold alike): the two
    // paths of a rename that lowers A-Z have one hash.
    static uint64_t folded(uint64_t w) {
        using namespace eightBytes;
        return lowered(w & ~highs) | (w & highs);
    }
    static uint64_t hash(std::string_view s) {
        constexpr uint64_t k = 0x9E3779B97F4A7C15ull;
        uint64_t h = s.size() * k;
        std::size_t i = 0;
        for (; i + 8 <= s.size(); i += 8) {
            h = (h ^ folded(eightBytes::load(s.data() + i))) * k;
            h ^= h >> 29;
        }
        uint64_t tail = 0;
        if (i < s.size() && s.size() >= 8) {
            tail = eightBytes::load(s.data() + s.size() - 8);  // overlaps the last word
        } else {
            for (; i < s.size(); ++i) tail = tail << 8 | static_cast<unsigned char>(s[i]);
        }
        h = (h ^ folded(tail)) * k;
        return h ^ (h >> 32);
    }

    struct Found {
        uint32_t last = 0;  // the latest rename that met the path
        PathState state = PathState::none;
    };
    // What the renames of hash `h` say of `path`, and of `other` where given.
    void probe(uint64_t h, std::string_view path, Found& found, const std::string_view* other = nullptr,
               Found* foundOther = nullptr) const {
        std::size_t mask = slots.size() - 1;
        for (std::size_t i = h & mask; slots[i]; i = (i + 1) & mask) {
            uint32_t number = slots[i];
            const Rename& r = renames[number - 1];
            meet(r, number, h, path, found);
            if (other) meet(r, number, h, *other, *foundOther);
        }
    }
    void meet(const Rename& r, uint32_t number, uint64_t h, std::string_view path, Found& found) const {
        if (number < found.last) return;
        if (r.toHash == h && to(r) == path) {
            found = {number, PathState::taken};
        } else if (r.fromHash == h && from(r) == path) {
            found = {number, PathState::left};
        }
    }

    void place(uint64_t h, uint32_t number) {
        std::size_t mask = slots.size() - 1;
        std::size_t i = h & mask;
        while (slots[i]) i = (i + 1) & mask;
        slots[i] = number;
        ++filled;
    }

    void grow() {
        slots.assign(slots.empty() ? 64 : 2 * slots.size(), 0);
        filled = 0;
        for (uint32_t n = 1; n <= renames.size(); ++n) {
            const Rename& r = renames[n - 1];
            place(r.fromHash, n);
            if (r.toHash != r.fromHash) place(r.toHash, n);
        }
    }
};
