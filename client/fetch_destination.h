#pragma once

#include <string>

namespace client {

// Where a fetch writes: a temporary file beside the target, renamed over it only when the
// transfer has completed, so a fetch that fails leaves no file and never damages an existing
// one.
class FetchDestination {
  public:
    FetchDestination() = default;
    ~FetchDestination();
    FetchDestination(const FetchDestination&) = delete;
    FetchDestination& operator=(const FetchDestination&) = delete;

    // Creates the temporary file for target; false when the folder cannot take it or the target
    // is something other than a regular file.
    bool Create(const std::string& target);
    // The temporary file's path, for writing.
    const std::string& partPath() const { return partPath_; }
    // Gives the finished file its place (and the permissions of a new file); false when it
    // could not be renamed.
    bool Commit();
    // Removes the temporary file, if any.
    void Discard();

  private:
    std::string target_;
    std::string partPath_;
};

}  // namespace client
