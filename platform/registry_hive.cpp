#include "platform/registry_hive.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/ascii_text.h"
#include "platform/atomic_file.h"
#include "platform/config_paths.h"
#include "platform/text_input.h"

namespace platform {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kRoot = "HKEY_CURRENT_USER";
constexpr std::string_view kDwordPrefix = "dword:";

// A settings hive is a few kilobytes; reading stops here so that a runaway or hostile file
// cannot make us allocate without bound. Lines up to this size are still handled.
constexpr std::size_t kMaxFileBytes = 32u * 1024u * 1024u;

// True when `path` names `key` itself or one of its ancestors.
bool isKeyOrAncestor(std::string_view path, std::string_view key) {
    if (path.empty()) {
        return true;
    }
    return StartsWithIgnoreCase(key, path) &&
           (key.size() == path.size() || key[path.size()] == '\\');
}

// Names and texts are stored line by line, so a line break inside a key name could not be
// written back; NUL cannot occur in a registry text at all.
bool storableKeyName(std::string_view s) {
    return s.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

// Joins the non-empty components with single backslashes, so "\\A\\\\B\\" and "A\\B" are the
// same key.
std::optional<std::string> normaliseKeyPath(std::string_view path) {
    if (!storableKeyName(path)) {
        return std::nullopt;
    }
    std::string out;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t end = path.find('\\', pos);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > pos) {
            if (!out.empty()) {
                out += '\\';
            }
            out.append(path.substr(pos, end - pos));
        }
        pos = end + 1;
    }
    return out;
}

// A registry text ends at its first NUL, as a C string handed to the registry would.
std::string_view upToNul(std::string_view s) {
    return s.substr(0, s.find('\0'));
}

void appendQuoted(std::string& out, std::string_view s) {
    out += '"';
    for (char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            // Line breaks would split the entry; they are escaped the way Wine's regedit does.
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    out += '"';
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Reads a quoted text starting at s[pos] == '"'; pos ends just past the closing quote.
std::optional<std::string> parseQuoted(std::string_view s, std::size_t& pos) {
    if (pos >= s.size() || s[pos] != '"') {
        return std::nullopt;
    }
    std::string out;
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return out;
        }
        if (c == '\0') {
            return std::nullopt;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == s.size()) {
            return std::nullopt;
        }
        switch (s[i]) {
            case '\\':
                out += '\\';
                break;
            case '"':
                out += '"';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            default:
                return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> parseDword(std::string_view digits) {
    if (digits.empty() || digits.size() > 8) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (char c : digits) {
        int d;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            d = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            d = c - 'A' + 10;
        } else {
            return std::nullopt;
        }
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return value;
}

struct ParsedValue {
    std::string name;
    RegistryHive::Value value;
};

// `"Name"="text"`, `"Name"=dword:0000001e` or `@=...` for the unnamed value.
std::optional<ParsedValue> parseValueLine(std::string_view line) {
    ParsedValue parsed;
    std::size_t pos = 0;
    if (line[0] == '@') {
        pos = 1;
    } else {
        auto name = parseQuoted(line, pos);
        if (!name) {
            return std::nullopt;
        }
        parsed.name = std::move(*name);
    }
    std::string_view rest = trimBlanks(line.substr(pos));
    if (rest.empty() || rest[0] != '=') {
        return std::nullopt;
    }
    rest = trimBlanks(rest.substr(1));
    if (!rest.empty() && rest[0] == '"') {
        std::size_t end = 0;
        auto text = parseQuoted(rest, end);
        if (!text || !trimBlanks(rest.substr(end)).empty()) {
            return std::nullopt;
        }
        parsed.value = std::move(*text);
        return parsed;
    }
    if (StartsWithIgnoreCase(rest, kDwordPrefix)) {
        auto number = parseDword(rest.substr(kDwordPrefix.size()));
        if (!number) {
            return std::nullopt;
        }
        parsed.value = *number;
        return parsed;
    }
    return std::nullopt;
}

// The key path of a section header, or nothing when the line is damaged or names a section we
// do not keep (another root, or a "[-...]" deletion).
std::optional<std::string> parseSectionLine(std::string_view line) {
    std::size_t close = line.rfind(']');
    if (close == std::string_view::npos || !trimBlanks(line.substr(close + 1)).empty()) {
        return std::nullopt;
    }
    std::string_view inside = line.substr(1, close - 1);
    if (!StartsWithIgnoreCase(inside, kRoot)) {
        return std::nullopt;
    }
    std::string_view rest = inside.substr(kRoot.size());
    if (!rest.empty() && rest[0] != '\\') {
        return std::nullopt;
    }
    return normaliseKeyPath(rest);
}

}  // namespace

RegistryHive::RegistryHive(std::string path) : path_(std::move(path)) {
    reload();
}

std::string RegistryHive::defaultPath(std::string_view program) {
    std::string base = ConfigHome();
    base += '/';
    base.append(program);
    base += ".reg";
    return base;
}

void RegistryHive::reload() {
    keys_.clear();
    bool truncated = false;
    std::string data = ReadFileCapped(path_, kMaxFileBytes, &truncated).value_or(std::string());
    std::string_view text(data);
    if (truncated) {
        // The last line was cut short by the cap and may read as something it never said.
        std::size_t lastBreak = text.rfind('\n');
        text = text.substr(0, lastBreak == std::string_view::npos ? 0 : lastBreak);
    }

    Key* current = nullptr;
    bool first = true;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::string_view line = NextLine(text, pos);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }

        if (first) {
            first = false;
            if (line.starts_with("\xEF\xBB\xBF")) {
                line.remove_prefix(3);
            }
            if (trimBlanks(line) != kHeader) {
                keys_.clear();
                return;
            }
            continue;
        }

        line = trimBlanks(line);
        if (line.empty()) {
            continue;
        }
        if (line[0] == '[') {
            current = nullptr;
            if (auto keyPath = parseSectionLine(line)) {
                createKey(*keyPath);
                current = findKey(*keyPath);
            }
            continue;
        }
        if (current == nullptr || (line[0] != '"' && line[0] != '@')) {
            continue;
        }
        if (auto parsed = parseValueLine(line)) {
            auto& values = current->values;
            auto it = std::find_if(values.begin(), values.end(), [&](const auto& v) {
                return EqualsIgnoreCase(v.first, parsed->name);
            });
            if (it != values.end()) {
                it->second = std::move(parsed->value);
            } else {
                values.emplace_back(std::move(parsed->name), std::move(parsed->value));
            }
        }
    }
}

bool RegistryHive::save() const {
    try {
        std::string out;
        out += kHeader;
        out += "\n\n";
        for (const Key& key : keys_) {
            out += '[';
            out += kRoot;
            if (!key.spelling.empty()) {
                out += '\\';
                out += key.spelling;
            }
            out += "]\n";
            for (const auto& [name, value] : key.values) {
                if (name.empty()) {
                    out += '@';
                } else {
                    appendQuoted(out, name);
                }
                out += '=';
                if (const auto* text = std::get_if<std::string>(&value)) {
                    appendQuoted(out, *text);
                } else {
                    char buf[16];
                    std::snprintf(buf, sizeof buf, "dword:%08x",
                                  static_cast<unsigned>(std::get<std::uint32_t>(value)));
                    out += buf;
                }
                out += '\n';
            }
            out += '\n';
        }
        // A new hive stays private; a replaced one keeps its permissions.
        return WriteFileAtomically(
            path_, out,
            {.createFolders = true, .newFileMode = 0600, .replacedMode = ReplacedMode::Keep});
    } catch (...) {
        return false;
    }
}

bool RegistryHive::keyExists(std::string_view keyPath) const {
    auto path = normaliseKeyPath(keyPath);
    if (!path) {
        return false;
    }
    if (path->empty()) {
        return true;
    }
    for (const Key& key : keys_) {
        if (isKeyOrAncestor(*path, key.spelling)) {
            return true;
        }
    }
    return false;
}

void RegistryHive::createKey(std::string_view keyPath) {
    auto path = normaliseKeyPath(keyPath);
    if (!path || findKey(*path) != nullptr) {
        return;
    }
    // Ancestors that already exist keep the spelling they were first given.
    std::size_t shared = 0;
    for (const Key& key : keys_) {
        std::size_t boundary = 0;
        for (std::size_t i = 0;; ++i) {
            bool endA = i == path->size() || (*path)[i] == '\\';
            bool endB = i == key.spelling.size() || key.spelling[i] == '\\';
            if (endA && endB) {
                boundary = i;
                if (i == path->size() || i == key.spelling.size()) {
                    break;
                }
                continue;
            }
            if (endA || endB || AsciiLower((*path)[i]) != AsciiLower(key.spelling[i])) {
                break;
            }
        }
        if (boundary > shared) {
            shared = boundary;
            path->replace(0, shared, key.spelling, 0, shared);
        }
    }
    keys_.push_back(Key{std::move(*path), {}});
}

std::optional<std::string> RegistryHive::readString(std::string_view keyPath,
                                                    std::string_view name) const {
    const Key* key = findKey(keyPath);
    if (key == nullptr) {
        return std::nullopt;
    }
    for (const auto& [n, v] : key->values) {
        if (EqualsIgnoreCase(n, name)) {
            if (const auto* text = std::get_if<std::string>(&v)) {
                return *text;
            }
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> RegistryHive::readDword(std::string_view keyPath,
                                                     std::string_view name) const {
    const Key* key = findKey(keyPath);
    if (key == nullptr) {
        return std::nullopt;
    }
    for (const auto& [n, v] : key->values) {
        if (EqualsIgnoreCase(n, name)) {
            if (const auto* number = std::get_if<std::uint32_t>(&v)) {
                return *number;
            }
            return std::nullopt;
        }
    }
    return std::nullopt;
}

namespace {

void setValue(std::vector<std::pair<std::string, RegistryHive::Value>>& values,
              std::string_view name, RegistryHive::Value value) {
    name = upToNul(name);
    for (auto& [n, v] : values) {
        if (EqualsIgnoreCase(n, name)) {
            v = std::move(value);
            return;
        }
    }
    values.emplace_back(std::string(name), std::move(value));
}

}  // namespace

void RegistryHive::writeString(std::string_view keyPath, std::string_view name,
                               std::string_view value) {
    createKey(keyPath);
    if (Key* key = findKey(keyPath)) {
        setValue(key->values, name, std::string(upToNul(value)));
    }
}

void RegistryHive::writeDword(std::string_view keyPath, std::string_view name,
                              std::uint32_t value) {
    createKey(keyPath);
    if (Key* key = findKey(keyPath)) {
        setValue(key->values, name, value);
    }
}

void RegistryHive::deleteValue(std::string_view keyPath, std::string_view name) {
    Key* key = findKey(keyPath);
    if (key == nullptr) {
        return;
    }
    name = upToNul(name);
    std::erase_if(key->values, [&](const auto& v) { return EqualsIgnoreCase(v.first, name); });
}

RegistryHive::Key* RegistryHive::findKey(std::string_view keyPath) {
    return const_cast<Key*>(std::as_const(*this).findKey(keyPath));
}

const RegistryHive::Key* RegistryHive::findKey(std::string_view keyPath) const {
    auto path = normaliseKeyPath(keyPath);
    if (!path) {
        return nullptr;
    }
    for (const Key& key : keys_) {
        if (EqualsIgnoreCase(key.spelling, *path)) {
            return &key;
        }
    }
    return nullptr;
}

}  // namespace platform
