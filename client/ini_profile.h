#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace client {

// A profile file of sections and key=value lines, read and written the way the classic
// private-profile functions do it: section and key names match without regard to case, blanks
// around names and values do not count, a value in matching quotes loses them, the first
// section and the first key of a name win, and a missing file, section or key reads as empty
// text. Every write reads the file again and replaces it atomically (temporary file, fsync,
// rename), so lines it does not touch (comments, other sections, values written by another
// run) stay as they are. A damaged file (one holding a zero byte, or of an absurd size) reads
// as missing values and is replaced as a whole by the next write.
class IniProfile {
  public:
    explicit IniProfile(std::string path);

    // "$XDG_CONFIG_HOME/<program>.ini"; XDG_CONFIG_HOME defaults to "$HOME/.config" and a
    // relative value is ignored, as the base directory rules say.
    static std::string defaultPath(std::string_view program);

    const std::string& path() const { return path_; }
    void reload();

    std::string read(std::string_view section, std::string_view key) const;
    using Entry = std::pair<std::string_view, std::string_view>;
    // False when the file could not be written; nothing is reported to the user.
    bool write(std::string_view section, std::string_view key, std::string_view value);
    // Several keys of one section in one replacement of the file, in the order given.
    bool write(std::string_view section, std::initializer_list<Entry> entries);

  private:
    enum class State { Missing, Readable, Damaged, Unreadable };

    // Index of the header line of the first section of that name, or npos.
    std::size_t findSection(std::string_view section) const;
    void setLine(std::string_view section, std::string_view key, std::string_view value);
    bool save() const;

    std::string path_;
    State state_ = State::Missing;
    std::vector<std::string> lines_;
};

}  // namespace client
