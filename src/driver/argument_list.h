// The storage of an ArgumentList: its texts kept in blocks, many to an
// allocation, and its growing array of them. Shared by the command line's
// split and the expansions, which add a text for each match.
#pragma once

#include <cstddef>

#include "driver/arguments.h"

struct TextBlock {
    TextBlock* next;  // the block before
    std::size_t used, size;
    char* text() { return reinterpret_cast<char*>(this + 1); }
};

void releaseTexts(TextBlock* block);

// Room for a text of `size` bytes in a new block of the list's texts;
// nullptr when memory runs out.
char* newTextInNewBlock(ArgumentList& list, std::size_t size);

// Room for a text of `size` bytes among the list's texts; nullptr when
// memory runs out.
inline char* newText(ArgumentList& list, std::size_t size) {
    TextBlock* block = list.texts;
    if (!block || block->size - block->used < size) return newTextInNewBlock(list, size);
    char* text = block->text() + block->used;
    block->used += size;
    return text;
}

// Doubles the room for items; false when memory runs out.
bool growItems(ArgumentList& list);

// Adds `text`, which the list's texts hold, as its last item; false when
// memory runs out.
inline bool append(ArgumentList& list, char* text) {
    if (list.count + 1 >= list.capacity && !growItems(list)) return false;
    list.items[list.count++] = text;
    list.items[list.count] = nullptr;
    return true;
}

// Adds a copy of `text`; false when memory runs out.
bool appendCopy(ArgumentList& list, const char* text);
