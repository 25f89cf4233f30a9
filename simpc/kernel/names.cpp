#include "names.h"

#include <cctype>

namespace simpc {

std::string Narrow(const WCHAR* text, size_t units) {
    std::string result;
    result.reserve(units);
    for (size_t i = 0; i < units; ++i) {
        const unsigned unit = static_cast<uint16_t>(text[i]);
        result.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return result;
}

std::string Narrow(PCWSTR text) {
    size_t units = 0;
    while (text[units] != 0) {
        ++units;
    }
    return Narrow(text, units);
}

std::string Narrow(const UNICODE_STRING& text) {
    if (text.Buffer == nullptr) {
        return std::string();
    }
    return Narrow(text.Buffer, text.Length / sizeof(WCHAR));
}

std::u16string Widen(const std::string& text) {
    std::u16string result;
    result.reserve(text.size());
    for (unsigned char c : text) {
        result.push_back(static_cast<char16_t>(c));
    }
    return result;
}

std::string FoldCase(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return folded;
}

}  // namespace simpc
