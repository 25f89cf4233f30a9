// The simulated registry: keys named by absolute NT paths
// ("\Registry\Machine\System\CurrentControlSet\Services\vexlor"), each with
// typed values.  Key and value names ignore case.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace simpc {

struct RegistryValue {
    uint32_t type = 0;  // REG_SZ, REG_DWORD, ...
    std::vector<uint8_t> data;

    static RegistryValue Dword(uint32_t value);
    // REG_SZ / REG_EXPAND_SZ: UTF-16 with its terminating NUL, as the registry stores it.
    static RegistryValue String(const std::string& text, uint32_t type = 1 /* REG_SZ */);
    static RegistryValue Binary(std::vector<uint8_t> bytes, uint32_t type = 3 /* REG_BINARY */);

    std::optional<uint32_t> AsDword() const;
    std::optional<std::string> AsString() const;
};

class Registry {
  public:
    static constexpr const char* kServicesPath =
        "\\Registry\\Machine\\System\\CurrentControlSet\\Services";

    void CreateKey(const std::string& path);
    bool KeyExists(const std::string& path) const;
    // Removes the key with its subkeys.
    void DeleteKey(const std::string& path);

    // Creates the key when it does not exist.
    void SetValue(const std::string& path, const std::string& name, RegistryValue value);
    void DeleteValue(const std::string& path, const std::string& name);
    const RegistryValue* FindValue(const std::string& path, const std::string& name) const;

  private:
    struct Key {
        std::map<std::string, RegistryValue> values;  // by folded name
    };
    std::map<std::string, Key> keys_;  // by folded path
};

}  // namespace simpc
