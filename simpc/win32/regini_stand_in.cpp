#include "regini_stand_in.h"

#include <cstdlib>

#include "file_system.h"
#include "names.h"
#include "simpc/pc.h"
#include "win32_state.h"

namespace simpc {

namespace {

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::string();
    }
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string Unquote(const std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

// The script's logical lines: comments and blank lines dropped,
// continuations joined.
std::vector<std::string> LogicalLines(const std::string& script) {
    std::vector<std::string> lines;
    std::string pending;
    size_t start = 0;
    while (start <= script.size()) {
        size_t end = script.find('\n', start);
        if (end == std::string::npos) {
            end = script.size();
        }
        std::string line = script.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!pending.empty()) {
            const size_t first = line.find_first_not_of(" \t");
            line = pending + (first == std::string::npos ? std::string() : line.substr(first));
            pending.clear();
        }
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == ';') {
            continue;
        }
        if (trimmed.back() == '\\' && line.find('=') != std::string::npos) {
            pending = line.substr(0, line.find_last_of('\\'));
            continue;
        }
        lines.push_back(line);
    }
    if (!pending.empty()) {
        lines.push_back(pending);
    }
    return lines;
}

bool ParseNumber(const std::string& text, uint32_t* value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const unsigned long parsed = std::strtoul(text.c_str(), &end, hex ? 16 : 10);
    if (*end != '\0' || parsed > 0xFFFFFFFFul) {
        return false;
    }
    *value = static_cast<uint32_t>(parsed);
    return true;
}

// REG_MULTI_SZ data: the quoted texts, each with its NUL, then one more.
RegistryValue MultiString(const std::string& data) {
    std::u16string units;
    size_t position = 0;
    while ((position = data.find('"', position)) != std::string::npos) {
        const size_t end = data.find('"', position + 1);
        if (end == std::string::npos) {
            break;
        }
        units += Widen(data.substr(position + 1, end - position - 1));
        units += u'\0';
        position = end + 1;
    }
    units += u'\0';
    std::vector<uint8_t> bytes;
    for (char16_t unit : units) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return RegistryValue::Binary(bytes, 7 /* REG_MULTI_SZ */);
}

// "TYPE data" of a value line; false when the data does not fit the type.
bool ParseValue(const std::string& text, RegistryValue* value) {
    const size_t blank = text.find_first_of(" \t");
    const std::string type = FoldCase(text.substr(0, blank));
    const std::string data = blank == std::string::npos ? std::string() : Trim(text.substr(blank));
    if (type == "reg_dword") {
        uint32_t number = 0;
        if (!ParseNumber(data, &number)) {
            return false;
        }
        *value = RegistryValue::Dword(number);
    } else if (type == "reg_sz") {
        *value = RegistryValue::String(Unquote(data), 1);
    } else if (type == "reg_expand_sz") {
        *value = RegistryValue::String(Unquote(data), 2);
    } else if (type == "reg_multi_sz") {
        *value = MultiString(data);
    } else if (type.compare(0, 4, "reg_") == 0) {
        return false; // a type this stand-in does not write
    } else {
        *value = RegistryValue::String(Unquote(text), 1);
    }
    return true;
}

size_t IndentOf(const std::string& line) {
    return line.find_first_not_of(" \t");
}

} // namespace

std::vector<std::string> ApplyReginiScript(Registry& registry, const std::string& script) {
    struct OpenKey {
        size_t indent;
        std::string path;
    };
    std::vector<OpenKey> keys;
    std::vector<std::string> problems;
    for (const std::string& line : LogicalLines(script)) {
        const size_t indent = IndentOf(line);
        const std::string text = Trim(line);
        // The key a line belongs to is the nearest one indented less.
        while (!keys.empty() && keys.back().indent >= indent) {
            keys.pop_back();
        }
        const size_t equals = text.find('=');
        if (equals == std::string::npos) {
            std::string name = text;
            if (name.back() == ']' && name.find('[') != std::string::npos) {
                name = Trim(name.substr(0, name.find('['))); // the ACL
            }
            const bool absolute = FoldCase(name).compare(0, 10, "\\registry\\") == 0;
            if (!absolute && keys.empty()) {
                problems.push_back("key without a parent: " + text);
                continue;
            }
            const std::string path = absolute ? name : keys.back().path + "\\" + name;
            registry.CreateKey(path);
            keys.push_back({indent, path});
            continue;
        }
        if (keys.empty()) {
            problems.push_back("value outside a key: " + text);
            continue;
        }
        const std::string name = Unquote(Trim(text.substr(0, equals)));
        RegistryValue value;
        if (!ParseValue(Trim(text.substr(equals + 1)), &value)) {
            problems.push_back("value data not understood: " + text);
            continue;
        }
        registry.SetValue(keys.back().path, name, value);
    }
    return problems;
}

std::vector<std::string> RunRegini(const ProcessStart& start) {
    if (FoldCase(ProgramOfCommandLine(start.command_line)) != "regini.exe" || !start.started) {
        return {"not a started regini.exe: " + start.command_line};
    }
    const std::string script_name = ArgumentsOfCommandLine(start.command_line);
    Pc& pc = Pc::Current();
    FileSystem& files = pc.win32().files();
    // The script is named relative to the directory regini runs in.
    const std::string saved = files.CurrentDirectory();
    files.SetCurrentDirectory(start.current_directory);
    const std::optional<std::string> script = files.ReadFile(script_name);
    files.SetCurrentDirectory(saved);
    if (!script) {
        return {"regini script not found: " + script_name};
    }
    return ApplyReginiScript(pc.registry(), *script);
}

} // namespace simpc
