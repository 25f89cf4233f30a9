#include "registry.h"

#include "names.h"

namespace simpc {

namespace {

// "\a\b\" and "\A\b" name the same key.
std::string KeyName(const std::string& path) {
    std::string folded = FoldCase(path);
    while (folded.size() > 1 && folded.back() == '\\') {
        folded.pop_back();
    }
    return folded;
}

}  // namespace

RegistryValue RegistryValue::Dword(uint32_t value) {
    RegistryValue v;
    v.type = 4;
    for (int i = 0; i < 4; ++i) {
        v.data.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    return v;
}

RegistryValue RegistryValue::String(const std::string& text, uint32_t type) {
    RegistryValue v;
    v.type = type;
    for (unsigned char c : text) {
        v.data.push_back(c);
        v.data.push_back(0);
    }
    v.data.push_back(0);
    v.data.push_back(0);
    return v;
}

RegistryValue RegistryValue::Binary(std::vector<uint8_t> bytes, uint32_t type) {
    RegistryValue v;
    v.type = type;
    v.data = std::move(bytes);
    return v;
}

std::optional<uint32_t> RegistryValue::AsDword() const {
    if (type != 4 || data.size() != 4) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
           static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
}

std::optional<std::string> RegistryValue::AsString() const {
    if (type != 1 && type != 2) {
        return std::nullopt;
    }
    std::string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        const unsigned unit = data[i] | data[i + 1] << 8;
        if (unit == 0) {
            break;
        }
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return text;
}

void Registry::CreateKey(const std::string& path) {
    // Every key on the way exists too.
    const std::string name = KeyName(path);
    for (size_t at = name.find('\\', 1); at != std::string::npos; at = name.find('\\', at + 1)) {
        keys_[name.substr(0, at)];
    }
    keys_[name];
}

bool Registry::KeyExists(const std::string& path) const { return keys_.count(KeyName(path)) != 0; }

void Registry::DeleteKey(const std::string& path) {
    const std::string name = KeyName(path);
    const std::string prefix = name + "\\";
    for (auto it = keys_.begin(); it != keys_.end();) {
        if (it->first == name || it->first.compare(0, prefix.size(), prefix) == 0) {
            it = keys_.erase(it);
        } else {
            ++it;
        }
    }
}

void Registry::SetValue(const std::string& path, const std::string& name, RegistryValue value) {
    CreateKey(path);
    keys_[KeyName(path)].values[FoldCase(name)] = std::move(value);
}

void Registry::DeleteValue(const std::string& path, const std::string& name) {
    auto key = keys_.find(KeyName(path));
    if (key != keys_.end()) {
        key->second.values.erase(FoldCase(name));
    }
}

const RegistryValue* Registry::FindValue(const std::string& path, const std::string& name) const {
    auto key = keys_.find(KeyName(path));
    if (key == keys_.end()) {
        return nullptr;
    }
    auto value = key->second.values.find(FoldCase(name));
    return value == key->second.values.end() ? nullptr : &value->second;
}

}  // namespace simpc
