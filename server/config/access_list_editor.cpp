#include "server/config/access_list_editor.h"

#include <algorithm>

#include "server/config/access_lists.h"

namespace server {
namespace {

std::vector<std::string>& listOf(ServerSettings& settings, AccessListKind kind) {
    return kind == AccessListKind::Allow ? settings.AllowList : settings.DenyList;
}

std::uint32_t& flagOf(ServerSettings& settings, AccessListKind kind) {
    return kind == AccessListKind::Allow ? settings.bAllow : settings.bDeny;
}

}  // namespace

std::string PatternFromFields(const AddressFields& fields) {
    std::string pattern;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        // The address control keeps each field within 0..255; clamping mirrors that.
        const int value = std::clamp(fields[i].value_or(0), 0, 255);
        if (i > 0) {
            pattern += '.';
        }
        pattern += value == 255 ? std::string("*") : std::to_string(value);
    }
    return pattern;
}

void AccessListEditor::Open(const ServerSettings& settings) {
    if (opened_) {
        return;
    }
    const bool allow = kind_ == AccessListKind::Allow;
    rows_ = allow ? settings.AllowList : settings.DenyList;
    // The box shows whether the list is in force, which only a flag of exactly 1 means.
    checked_ = (allow ? settings.bAllow : settings.bDeny) == 1;
    modified_ = false;
    opened_ = true;
}

AddResult AccessListEditor::Add(const AddressFields& fields) {
    std::string pattern = PatternFromFields(fields);
    if (std::find(rows_.begin(), rows_.end(), pattern) != rows_.end()) {
        return {false, kEntryExistsText};
    }
    rows_.push_back(std::move(pattern));
    modified_ = true;
    return {true, {}};
}

bool AccessListEditor::Remove(std::optional<std::size_t> selected) {
    if (!selected || *selected >= rows_.size()) {
        return false;
    }
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(*selected));
    modified_ = true;
    return true;
}

void AccessListEditor::SetChecked(bool checked) {
    checked_ = checked;
    modified_ = true;
}

bool AccessListEditor::Apply(ServerSettings& settings, ServerDialogs& dialogs) {
    if (!opened_) {
        return true;
    }
    flagOf(settings, kind_) = checked_ ? 1 : 0;
    listOf(settings, kind_) = rows_;
    // The new values are in force whether or not the file could be written.
    modified_ = false;
    return SaveAccessLists(settings, dialogs);
}

std::string_view AccessListEditor::checkBoxText() const {
    return kind_ == AccessListKind::Allow ? "Only allow these connections"
                                          : "Do not allow these connections";
}

}  // namespace server
