#include "joined_text.h"

#include <cstdlib>
#include <cstring>

char* JoinText(const char* first, const char* second, const char* third, const char* fourth,
               const char* fifth) {
    const char* parts[] = {first, second, third, fourth, fifth};
    size_t length = 1;
    for (const char* part : parts) {
        length += std::strlen(part);
    }
    char* text = static_cast<char*>(std::malloc(length));
    if (text == nullptr) {
        return nullptr;
    }
    char* out = text;
    for (const char* part : parts) {
        const size_t part_length = std::strlen(part);
        std::memcpy(out, part, part_length);
        out += part_length;
    }
    *out = '\0';
    return text;
}

void FreeText(char* text) {
    std::free(text);
}
