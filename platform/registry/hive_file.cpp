#include "platform/registry/hive_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/files/files.h"
#include "platform/registry/hive_text.h"

namespace platform::registry {

namespace fs = std::filesystem;
using files::Descriptor;

namespace {

enum class ReadStatus { Read, Missing, Failed };

ReadStatus ReadWholeFile(const fs::path& path, std::string& content) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
    content.clear();
    std::vector<char> chunk(1 << 16);
    while (true) {
        const ssize_t got = ::read(fd.Get(), chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return ReadStatus::Failed;
        if (got == 0) return ReadStatus::Read;
        content.append(chunk.data(), static_cast<std::size_t>(got));
    }
}

// Replaces target by content so that a reader sees either the old file or the whole new one.
bool ReplaceAtomically(const fs::path& target, std::string_view content) {
    fs::path temporary = target;
    temporary += ".new";
    bool stored = false;
    {
        Descriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        if (!fd) return false;
        stored = files::WriteAll(fd.Get(), content.data(), content.size()) &&
                 ::fsync(fd.Get()) == 0 && fd.Close();
    }
    if (stored) stored = ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!stored) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself must reach the disk before the change counts as made.
    Descriptor folder(::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder) ::fsync(folder.Get());
    return true;
}

// Renames a hive that does not parse to "registry.txt.corrupt-<local time>[-n]". Called under
// the lock, which makes choosing a free name safe.
bool MoveAside(const fs::path& path) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = path.string() + ".corrupt-" + stamp;
    std::error_code error;
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const fs::path aside = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        if (fs::exists(aside, error)) continue;
        if (error) return false;
        return ::rename(path.c_str(), aside.c_str()) == 0;
    }
    return false;
}

// An exclusive lock on the hive's lock file, held while the object lives.
class HiveLock {
public:
    explicit HiveLock(const fs::path& path)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (!fd_) return;
        int result = 0;
        do {
            result = ::flock(fd_.Get(), LOCK_EX);
        } while (result != 0 && errno == EINTR);
        held_ = result == 0;
    }

    bool Held() const { return held_; }

private:
    Descriptor fd_;
    bool held_ = false;
};

enum class LoadStatus { Loaded, Failed };

// The stored hive, read under the lock; a corrupt one is moved aside and an empty tree begins.
LoadStatus LoadLocked(const fs::path& path, HiveTree& tree) {
    std::string content;
    switch (ReadWholeFile(path, content)) {
        case ReadStatus::Missing:
            tree = HiveTree{};
            return LoadStatus::Loaded;
        case ReadStatus::Failed:
            return LoadStatus::Failed;
        case ReadStatus::Read:
            break;
    }
    if (std::optional<HiveTree> parsed = ParseHive(content)) {
        tree = std::move(*parsed);
        return LoadStatus::Loaded;
    }
    if (!MoveAside(path)) return LoadStatus::Failed;
    tree = HiveTree{};
    return LoadStatus::Loaded;
}

std::optional<fs::path> UserConfigFolder() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/') {
        return fs::path(config);
    }
    if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".config";
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir) {
        return fs::path(found->pw_dir) / ".config";
    }
    return std::nullopt;
}

}  // namespace

HiveFile HiveFile::ForCurrentUser() {
    const std::optional<fs::path> config = UserConfigFolder();
    return HiveFile(config ? *config / "korvex" : fs::path());
}

HiveTree HiveFile::Read() const {
    if (folder_.empty()) return {};
    std::string content;
    if (ReadWholeFile(Path(), content) != ReadStatus::Read) return {};
    if (std::optional<HiveTree> parsed = ParseHive(content)) return std::move(*parsed);
    // Only under the lock may the file be moved aside; a writer may have replaced it meanwhile.
    HiveLock lock(folder_ / "registry.lock");
    HiveTree tree;
    if (lock.Held() && LoadLocked(Path(), tree) == LoadStatus::Loaded) return tree;
    return {};
}

bool HiveFile::Change(const std::function<bool(HiveTree&)>& edit) const {
    if (folder_.empty()) return false;
    std::error_code error;
    fs::create_directories(folder_, error);
    if (error) return false;
    HiveLock lock(folder_ / "registry.lock");
    if (!lock.Held()) return false;
    HiveTree tree;
    if (LoadLocked(Path(), tree) != LoadStatus::Loaded) return false;
    if (!edit(tree)) return true;
    return ReplaceAtomically(Path(), FormatHive(tree));
}

}  // namespace platform::registry
