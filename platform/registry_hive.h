#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform {

// The current user's registry, kept as a REGEDIT4 text file:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Quenmarsh\Tollerby]
//   "Port"="69"
//   "bDelete"=dword:0000000c
//
// Key paths are given relative to HKEY_CURRENT_USER ("Software\\Quenmarsh\\Tollerby"). Key and
// value names are matched without regard to case and keep the spelling they were first written
// with. A damaged file reads as missing values; saving is atomic.
class RegistryHive {
  public:
    using Value = std::variant<std::string, std::uint32_t>;

    // Loads from path; a missing or unreadable file gives an empty hive.
    explicit RegistryHive(std::string path);

    // "$XDG_CONFIG_HOME/<program>.reg", XDG_CONFIG_HOME defaulting to "$HOME/.config".
    static std::string defaultPath(std::string_view program);

    const std::string& path() const { return path_; }

    // Re-reads the file (used before a save so that values written by others are kept).
    void reload();
    // Writes the whole hive atomically (temp file, fsync, rename); creates the folder.
    bool save() const;

    bool keyExists(std::string_view keyPath) const;
    void createKey(std::string_view keyPath);

    std::optional<std::string> readString(std::string_view keyPath, std::string_view name) const;
    std::optional<std::uint32_t> readDword(std::string_view keyPath, std::string_view name) const;
    void writeString(std::string_view keyPath, std::string_view name, std::string_view value);
    void writeDword(std::string_view keyPath, std::string_view name, std::uint32_t value);
    void deleteValue(std::string_view keyPath, std::string_view name);

  private:
    struct Key {
        std::string spelling;
        // Ordered as written; names compared case-insensitively.
        std::vector<std::pair<std::string, Value>> values;
    };

    Key* findKey(std::string_view keyPath);
    const Key* findKey(std::string_view keyPath) const;

    std::string path_;
    std::vector<Key> keys_;
};

}  // namespace platform
