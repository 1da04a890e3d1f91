// String: the byte string of the file layer. Its character storage comes from the heap registry
// under the string category and goes back there; every operation that may allocate answers false
// instead of raising when memory cannot be had, and leaves the string as it was. Strings move but
// do not copy implicitly, so that no copy can fail unnoticed: assign copies explicitly.
#pragma once

#include <cstdint>

class String {
public:
    static constexpr std::uint32_t npos = 0xFFFFFFFFu;

    String() noexcept = default;
    String(String&& other) noexcept;
    String& operator=(String&& other) noexcept;
    ~String();

    String(const String&) = delete;
    String& operator=(const String&) = delete;

    // Replace the content with a copy of text (null counts as empty), of its first length bytes, or
    // of another string. False when the storage cannot be had, or when the text is longer than a
    // 32-bit length can hold; the string is then unchanged.
    bool assign(const char* text);
    bool assign(const char* text, std::uint32_t length);
    bool assign(const String& other);
    // Appends in the same way; false leaves the string unchanged.
    bool append(const char* text);
    bool append(const char* text, std::uint32_t length);
    bool append(const String& other);
    bool append(char character);

    // Empties the string and gives its storage back.
    void clear();

    // Always a NUL-terminated text, "" for an empty string.
    const char* c_str() const { return data != nullptr ? data : ""; }
    std::uint32_t length() const { return size; }
    bool empty() const { return size == 0; }
    // The byte at index; index must be below length().
    char operator[](std::uint32_t index) const { return data[index]; }
    bool equals(const char* text) const;

    // Index of the first occurrence of the text (or byte) at or after from, npos when there is none.
    // An empty pattern is never found.
    std::uint32_t find(const char* pattern, std::uint32_t from = 0) const;
    std::uint32_t find(char character, std::uint32_t from = 0) const;
    // Index of the last occurrence of the byte, npos when there is none.
    std::uint32_t findLast(char character) const;

    // Makes the string a copy of count bytes of source from start (both cut to what source holds).
    // source must not be this string. False when the storage cannot be had; unchanged then.
    bool assignSubstring(const String& source, std::uint32_t start, std::uint32_t count);
    // Cuts the string to its first count bytes (nothing happens when it is not longer).
    void truncate(std::uint32_t count);

    // Replaces every occurrence of one byte by another; the number of replacements.
    std::uint32_t replaceCharacter(char from, char to);
    // Replaces every occurrence of pattern by replacement in one pass from left to right: the
    // search goes on right behind each inserted replacement, so an occurrence that overlapped the
    // one just replaced is not seen. The number of replacements goes to count. False (string
    // unchanged, count 0) when the storage cannot be had or the pattern is empty.
    bool replaceText(const char* pattern, const char* replacement, std::uint32_t& count);

private:
    char* data = nullptr;
    std::uint32_t size = 0;
    std::uint32_t capacity = 0;
};
