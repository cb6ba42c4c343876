#include "driver/argument_list.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

void releaseTexts(TextBlock* block) {
    while (block) {
        TextBlock* next = block->next;
        platform::release(block);
        block = next;
    }
}

char* newTextInNewBlock(ArgumentList& list, std::size_t size) {
    constexpr std::size_t blockSize = 64 * 1024;
    std::size_t room = std::max(size, blockSize - sizeof(TextBlock));
    auto* block = static_cast<TextBlock*>(platform::allocate(sizeof(TextBlock) + room));
    if (!block) return nullptr;
    *block = {list.texts, size, room};
    list.texts = block;
    return block->text();
}

bool growItems(ArgumentList& list) {
    int grown = list.capacity ? list.capacity * 2 : 16;
    void* bigger = platform::reallocate(list.items, sizeof(char*) * static_cast<std::size_t>(grown));
    if (!bigger) return false;
    list.items = static_cast<char**>(bigger);
    list.capacity = grown;
    return true;
}

bool appendCopy(ArgumentList& list, const char* text) {
    std::size_t size = std::strlen(text) + 1;
    char* copy = newText(list, size);
    if (!copy) return false;
    std::memcpy(copy, text, size);
    return append(list, copy);
}

void releaseArguments(ArgumentList& list) {
    releaseTexts(list.texts);
    platform::release(list.items);
    list = ArgumentList{};
}
