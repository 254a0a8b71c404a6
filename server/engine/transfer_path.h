#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace server {

struct TransferPath {
    std::string path;
    bool altered = false;
};

// The local path for a requested name under a base folder: separators unified to '/', the
// sub-directories dropped unless keepSubdirectories, every ".." removed from the name (the
// operator's folder is taken as given) and doubled separators collapsed, each change marking
// the path altered.
TransferPath BuildTransferPath(std::string_view base, std::string_view requestedName,
                               bool keepSubdirectories);

// True when path names something strictly inside base (an empty base is the current folder),
// judged on the names alone so that links the operator placed inside are followed.
bool IsInsideBase(std::string_view base, std::string_view path);

// The n-th name tried for a file that already exists: report.txt gives report.1.txt; a name
// without an extension gets the number appended (data gives data.1).
std::string DuplicateCandidate(const std::string& path, int n);

// Creates every folder named by the path up to its last '/'. False when a parent is missing,
// and as soon as a level that exists leads (through a link) out of base: no folder is ever
// created outside it.
bool MakePath(std::string_view base, const std::string& path);

// The folder an upload to path lands in, with every link resolved and a '/' at its end;
// nothing when it cannot be resolved or is neither base (resolved alike) nor inside it.
std::optional<std::string> ResolveUploadFolder(std::string_view base, const std::string& path);

}  // namespace server
