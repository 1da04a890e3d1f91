// The file layer's byte string on the registry's string category.
#include "core/Utils/String.h"

#include <cstring>
#include <utility>

#include "core/memory/HeapRegistry.h"

namespace {

// Lengths of C texts handed in by callers: anything that does not fit a 32-bit length is refused
// rather than cut.
bool textLength(const char* text, std::uint32_t& length) {
    if (text == nullptr) {
        length = 0;
        return true;
    }
    const std::size_t measured = std::strlen(text);
    if (measured >= String::npos) {
        return false;
    }
    length = static_cast<std::uint32_t>(measured);
    return true;
}

} // namespace

String::String(String&& other) noexcept : data(other.data), size(other.size), capacity(other.capacity) {
    other.data = nullptr;
    other.size = 0;
    other.capacity = 0;
}

String& String::operator=(String&& other) noexcept {
    if (this != &other) {
        heapRelease(data);
        data = other.data;
        size = other.size;
        capacity = other.capacity;
        other.data = nullptr;
        other.size = 0;
        other.capacity = 0;
    }
    return *this;
}

String::~String() { heapRelease(data); }

bool String::assign(const char* text) {
    std::uint32_t length = 0;
    if (!textLength(text, length)) {
        return false;
    }
    return assign(text, length);
}

bool String::assign(const char* text, std::uint32_t length) {
    if (length == 0 || text == nullptr) {
        clear();
        return true;
    }
    // The text may lie inside this string's own storage, so it is copied into fresh storage first.
    char* storage = static_cast<char*>(heapAllocate(length == npos ? 0 : length + 1, 1, HeapCategory::String));
    if (storage == nullptr) {
        return false;
    }
    std::memcpy(storage, text, length);
    storage[length] = '\0';
    heapRelease(data);
    data = storage;
    size = length;
    capacity = length;
    return true;
}

bool String::assign(const String& other) {
    if (this == &other) {
        return true;
    }
    return assign(other.data, other.size);
}

bool String::append(const char* text) {
    std::uint32_t length = 0;
    if (!textLength(text, length)) {
        return false;
    }
    return append(text, length);
}

bool String::append(const char* text, std::uint32_t length) {
    if (length == 0 || text == nullptr) {
        return true;
    }
    if (length >= npos - size) {
        return false;
    }
    const std::uint32_t total = size + length;
    if (data == nullptr || total > capacity) {
        // Growth by half again keeps repeated appends linear overall.
        std::uint64_t grown = std::uint64_t{capacity} + capacity / 2;
        if (grown < total) {
            grown = total;
        }
        if (grown >= npos) {
            grown = total;
        }
        // The text may lie inside this string: fresh storage is filled before the old is freed.
        char* storage = static_cast<char*>(heapAllocate(static_cast<std::uint32_t>(grown) + 1, 1, HeapCategory::String));
        if (storage == nullptr) {
            return false;
        }
        if (size > 0) {
            std::memcpy(storage, data, size);
        }
        std::memcpy(storage + size, text, length);
        storage[total] = '\0';
        heapRelease(data);
        data = storage;
        capacity = static_cast<std::uint32_t>(grown);
        size = total;
        return true;
    }
    std::memmove(data + size, text, length);
    size = total;
    data[size] = '\0';
    return true;
}

bool String::append(const String& other) {
    if (this == &other) {
        // The text would move while it is appended; a copy is taken first.
        String copy;
        return copy.assign(other) && append(copy.data, copy.size);
    }
    return append(other.data, other.size);
}

bool String::append(char character) { return append(&character, 1); }

void String::clear() {
    heapRelease(data);
    data = nullptr;
    size = 0;
    capacity = 0;
}

bool String::equals(const char* text) const {
    const char* other = text != nullptr ? text : "";
    return std::strcmp(c_str(), other) == 0 && std::strlen(other) == size;
}

std::uint32_t String::find(const char* pattern, std::uint32_t from) const {
    std::uint32_t length = 0;
    if (!textLength(pattern, length) || length == 0 || from >= size || length > size - from) {
        return npos;
    }
    for (std::uint32_t i = from; i <= size - length; ++i) {
        if (std::memcmp(data + i, pattern, length) == 0) {
            return i;
        }
    }
    return npos;
}

std::uint32_t String::find(char character, std::uint32_t from) const {
    for (std::uint32_t i = from; i < size; ++i) {
        if (data[i] == character) {
            return i;
        }
    }
    return npos;
}

std::uint32_t String::findLast(char character) const {
    for (std::uint32_t i = size; i > 0; --i) {
        if (data[i - 1] == character) {
            return i - 1;
        }
    }
    return npos;
}

bool String::assignSubstring(const String& source, std::uint32_t start, std::uint32_t count) {
    if (start >= source.size) {
        clear();
        return true;
    }
    const std::uint32_t available = source.size - start;
    return assign(source.data + start, count < available ? count : available);
}

void String::truncate(std::uint32_t count) {
    if (count >= size) {
        return;
    }
    size = count;
    data[size] = '\0';
}

std::uint32_t String::replaceCharacter(char from, char to) {
    std::uint32_t count = 0;
    for (std::uint32_t i = 0; i < size; ++i) {
        if (data[i] == from) {
            data[i] = to;
            ++count;
        }
    }
    return count;
}

bool String::replaceText(const char* pattern, const char* replacement, std::uint32_t& count) {
    count = 0;
    std::uint32_t patternLength = 0;
    std::uint32_t replacementLength = 0;
    if (!textLength(pattern, patternLength) || !textLength(replacement, replacementLength) || patternLength == 0) {
        return false;
    }
    std::uint32_t found = find(pattern, 0);
    if (found == npos) {
        return true;
    }
    // The result is built aside, so that a failed allocation leaves this string as it was. Each
    // pass consumes at least the pattern's bytes, so the walk ends.
    String result;
    std::uint32_t done = 0;
    std::uint32_t replaced = 0;
    while (found != npos) {
        if (!result.append(data + done, found - done) || !result.append(replacement, replacementLength)) {
            return false;
        }
        ++replaced;
        done = found + patternLength;
        found = find(pattern, done);
    }
    if (!result.append(data + done, size - done)) {
        return false;
    }
    *this = std::move(result);
    count = replaced;
    return true;
}
