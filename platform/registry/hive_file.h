// The hive on disk: "registry.txt" in the user's korvex configuration folder. Reads take the file
// as the last complete write left it; changes run under an exclusive lock on "registry.lock",
// re-read the file first and replace it atomically (temporary file, fsync, rename), so that
// neither a crash nor a second process writing at the same time loses anything. A file that
// does not parse is renamed aside with a time stamp, never overwritten. Any thread.
#pragma once

#include <filesystem>
#include <functional>

#include "platform/registry/hive.h"

namespace platform::registry {

class HiveFile {
public:
    // The calling user's hive: $XDG_CONFIG_HOME/korvex when that is an absolute path, else
    // ~/.config/korvex.
    static HiveFile ForCurrentUser();
    explicit HiveFile(std::filesystem::path folder) : folder_(std::move(folder)) {}

    std::filesystem::path Path() const { return folder_ / "registry.txt"; }

    // The hive as stored; an empty tree when there is none or it cannot be read.
    HiveTree Read() const;

    // Runs edit on the stored hive under the lock and stores the tree when edit returns true.
    // False when the hive could not be locked, read or stored; the file is then unchanged.
    bool Change(const std::function<bool(HiveTree&)>& edit) const;

private:
    std::filesystem::path folder_;
};

}  // namespace platform::registry
