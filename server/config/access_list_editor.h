#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/engine/server_dialogs.h"
#include "server/engine/server_settings.h"

namespace server {

enum class AccessListKind { Allow, Deny };

inline constexpr std::string_view kEntryExistsText = "Entry already exists";

// The four fields of the address entry control, first octet first; nullopt for a blank field.
using AddressFields = std::array<std::optional<int>, 4>;

// Canonical pattern text: 255 gives "*", a blank field 0, others their decimal value.
std::string PatternFromFields(const AddressFields& fields);

struct AddResult {
    bool added = false;
    std::string_view message;  // for a message box when not empty
};

// What the Allow or Deny page of the setup sheet edits: its rows, its check box and whether it
// has changes. The page calls Open when it is first shown; a page that was never opened has
// nothing to apply, so Apply then leaves the settings and the file alone.
class AccessListEditor {
  public:
    explicit AccessListEditor(AccessListKind kind) : kind_(kind) {}

    // Copies the page's list and flag; later calls keep the rows edited so far.
    void Open(const ServerSettings& settings);

    AddResult Add(const AddressFields& fields);
    // Deletes the selected row; false, and no change, without a selection.
    bool Remove(std::optional<std::size_t> selected);
    void SetChecked(bool checked);

    // Stores the flag (1 or 0) and the rows, then writes both lists to the file. False when the
    // file could not be written (the message was shown; the settings keep the new values).
    bool Apply(ServerSettings& settings, ServerDialogs& dialogs);

    AccessListKind kind() const { return kind_; }
    // "Only allow these connections" or "Do not allow these connections".
    std::string_view checkBoxText() const;
    const std::vector<std::string>& rows() const { return rows_; }
    bool checked() const { return checked_; }
    bool modified() const { return modified_; }
    bool opened() const { return opened_; }

  private:
    AccessListKind kind_;
    std::vector<std::string> rows_;
    bool checked_ = false;
    bool modified_ = false;
    bool opened_ = false;
};

}  // namespace server
