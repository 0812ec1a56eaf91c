// The --toggle channel: only this user's exact request counts, a socket of an ended copy is
// replaced but nothing else is touched, and the private folder is where it goes.
#include "platform/toggle/toggle.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
using namespace platform::toggle;

namespace {

class Toggle : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("korvex-toggle-" + std::to_string(getpid()));
        fs::remove_all(folder_);
        fs::create_directory(folder_);
        fs::permissions(folder_, fs::perms::owner_all);
        socket_ = folder_ / "korvex-toggle";
    }
    void TearDown() override { fs::remove_all(folder_); }

    // Connects and sends text as another program might.
    bool SendRaw(const std::string& text) const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_.c_str());
        const bool sent =
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::close(fd);
        return sent;
    }

    fs::path folder_;
    fs::path socket_;
};

TEST(ToggleRequest, OnlyThisUsersExactRequest) {
    EXPECT_TRUE(IsToggleRequest(1000, 1000, "toggle\n"));
    EXPECT_FALSE(IsToggleRequest(1001, 1000, "toggle\n"));
    EXPECT_FALSE(IsToggleRequest(1000, 1000, "toggle"));
    EXPECT_FALSE(IsToggleRequest(1000, 1000, "toggle\ntoggle\n"));
    EXPECT_FALSE(IsToggleRequest(1000, 1000, "stop\n"));
}

TEST_F(Toggle, RequestsOneAfterAnother) {
    EXPECT_FALSE(SendToggle(socket_));  // none listens yet
    auto listener = ToggleListener::Listen(socket_);
    ASSERT_NE(listener, nullptr);
    struct stat st {};
    ASSERT_EQ(::lstat(socket_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(SendToggle(socket_));
        EXPECT_TRUE(listener->TakeRequest());
    }
    for (const char* other : {"toggle", "start\n", "toggle\nrm -rf\n"}) {
        ASSERT_TRUE(SendRaw(other));
        EXPECT_FALSE(listener->TakeRequest()) << other;
    }
    listener.reset();
    EXPECT_FALSE(fs::exists(socket_));
}

TEST_F(Toggle, ReplacesAnEndedCopysSocketButNothingElse) {
    // A copy that ended without removing its socket.
    const int ended = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_.c_str());
    ASSERT_EQ(::bind(ended, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(ended);
    ASSERT_TRUE(fs::is_socket(socket_));
    EXPECT_NE(ToggleListener::Listen(socket_), nullptr);

    const fs::path target = folder_ / "precious";
    std::ofstream(target) << "keep";
    fs::create_symlink(target, socket_);
    EXPECT_EQ(ToggleListener::Listen(socket_), nullptr);
    fs::remove(socket_);
    std::ofstream(socket_) << "a file";
    EXPECT_EQ(ToggleListener::Listen(socket_), nullptr);
    std::ifstream in(target);
    std::string text;
    in >> text;
    EXPECT_EQ(text, "keep");
}

TEST_F(Toggle, AnotherUsersRequestIsIgnored) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    auto listener = ToggleListener::Listen(socket_);
    ASSERT_NE(listener, nullptr);
    // As if the folder and socket were open to everyone: the uid alone must keep others out.
    fs::permissions(folder_, fs::perms::all);
    fs::permissions(socket_, fs::perms::all);
    const pid_t child = fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(2);
        _exit(SendToggle(socket_) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the other user could not even connect";
    EXPECT_FALSE(listener->TakeRequest());
}

TEST_F(Toggle, TheSocketGoesIntoAPrivateFolderOnly) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = runtime ? runtime : "";
    const char* temp = std::getenv("TEMP");
    const std::string savedTemp = temp ? temp : "";

    setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    EXPECT_EQ(SocketPath(), folder_ / "korvex-toggle");
    // A folder others may write to is passed over for the TEMP folder.
    const fs::path open = folder_ / "open";
    fs::create_directory(open);
    fs::permissions(open, fs::perms::all);
    setenv("XDG_RUNTIME_DIR", open.c_str(), 1);
    setenv("TEMP", folder_.c_str(), 1);
    EXPECT_EQ(SocketPath(), folder_ / "korvex-toggle");
    setenv("TEMP", open.c_str(), 1);
    EXPECT_EQ(SocketPath(), std::nullopt);

    saved.empty() ? unsetenv("XDG_RUNTIME_DIR") : setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    savedTemp.empty() ? unsetenv("TEMP") : setenv("TEMP", savedTemp.c_str(), 1);
}

}  // namespace
