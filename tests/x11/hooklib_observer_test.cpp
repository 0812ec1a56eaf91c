// The hook library's observers on a display of their own: what real input (xdotool) posts to
// the target window, how repeated installs are kept to one observer of each kind, and that
// nothing outlives the library.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/hook_library.h"
#include "tests/support/virtual_display.h"

namespace {

namespace fs = std::filesystem;
using namespace korvex::test;

struct Free {
    void operator()(void* p) const { std::free(p); }
};

struct Message {
    std::uint32_t msg, wParam;
    friend bool operator==(const Message&, const Message&) = default;
};
std::ostream& operator<<(std::ostream& out, const Message& m) {
    return out << std::hex << "{" << m.msg << ", " << m.wParam << "}";
}
const Message kLeft{0x46F, 0x201}, kRight{0x46F, 0x204};
const Message kKeyDown{0x4DE, 0x100}, kKeyUp{0x4DE, 0x101};
const Message kSysKeyDown{0x4DE, 0x104}, kSysKeyUp{0x4DE, 0x105};

void Xdotool(const std::string& args) {
    ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args;
}

// A window of the test that receives the hook messages, as the main window would.
class Receiver {
public:
    explicit Receiver(const std::string& display) : connection_(ConnectTo(display)) {
        xcb_connection_t* c = connection_.get();
        window_ = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, DefaultScreen(c)->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const char name[] = "KORVEX_HOOK_MESSAGE";
        std::unique_ptr<xcb_intern_atom_reply_t, Free> atom(
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr));
        atom_ = atom->atom;
        Sync(c);
    }

    unsigned long Window() const { return window_; }
    void Destroy() {
        xcb_destroy_window(connection_.get(), window_);
        Sync(connection_.get());
    }

    // The next count hook messages, in order; fewer when they do not come in time.
    std::vector<Message> Take(std::size_t count) {
        std::vector<Message> got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        xcb_connection_t* c = connection_.get();
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            std::unique_ptr<xcb_generic_event_t, Free> event(xcb_poll_for_event(c));
            if (!event) {
                pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
                poll(&p, 1, 100);
                continue;
            }
            if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) continue;
            const auto* m = reinterpret_cast<xcb_client_message_event_t*>(event.get());
            if (m->type != atom_ || m->format != 32) continue;
            EXPECT_EQ(m->window, window_);
            got.push_back({m->data.data32[0], m->data.data32[1]});
        }
        return got;
    }

private:
    XcbConnection connection_;
    xcb_window_t window_ = XCB_NONE;
    xcb_atom_t atom_ = XCB_ATOM_NONE;
};

class HookObserverTest : public testing::Test {
protected:
    void SetUp() override {
        library_ = LoadHookLibrary(KORVEX_HOOKLIB_FILE, scratch_.Dir());
        ASSERT_NE(library_, nullptr);
        hooks_ = std::make_unique<HookExports>(library_);
        ASSERT_TRUE(hooks_->complete());
    }
    void TearDown() override { library_.reset(); }

    // Runs the xdotool actions followed by a left click as a fence, and expects exactly these
    // messages before the fence's. xdotool may add releases of keys that were never pressed
    // (other keycodes of a modifier); only those may follow the expected ones.
    void ExpectPosted(Receiver& receiver, const std::string& actions,
                      const std::vector<Message>& expected) {
        Xdotool(actions + " click 1");
        std::vector<Message> got = receiver.Take(expected.size() + 1);
        while (got.size() > expected.size() && got.back() != kLeft) {
            const std::vector<Message> next = receiver.Take(1);
            ASSERT_EQ(next.size(), 1u) << actions << ": the fence did not come";
            got.push_back(next.front());
        }
        ASSERT_GT(got.size(), expected.size()) << actions;
        EXPECT_EQ(std::vector<Message>(got.begin(), got.begin() + expected.size()), expected)
            << actions;
        for (auto it = got.begin() + expected.size(); it + 1 < got.end(); ++it) {
            EXPECT_TRUE(*it == kKeyUp || *it == kSysKeyUp) << actions << ": " << *it;
        }
    }

    VirtualDisplay display_;
    HookScratch scratch_;
    HookLibrary library_;
    std::unique_ptr<HookExports> hooks_;
};

TEST_F(HookObserverTest, PostsButtonPressesAndEveryKeyEventOnceEach) {
    Receiver receiver(display_.Name());
    // Installed twice, as at two recording starts: still one observer of each kind.
    for (int start = 0; start < 2; ++start) {
        hooks_->HookMouse(receiver.Window());
        hooks_->HookKeyboard(receiver.Window());
    }
    EXPECT_EQ(ObserverThreads(), 2);

    const struct {
        const char* actions;
        std::vector<Message> posted;
    } cases[] = {
        {"click 1", {kLeft}},
        {"click 3", {kRight}},
        {"click 2 click 4 click 5", {}},  // middle button and wheel
        {"mousedown 1 mouseup 1", {kLeft}},
        {"key a", {kKeyDown, kKeyUp}},
        {"key F11", {kKeyDown, kKeyUp}},
        {"keydown Alt_L key F9 keyup Alt_L", {kSysKeyDown, kSysKeyDown, kSysKeyUp, kSysKeyUp}},
        {"key Return", {kKeyDown, kKeyUp}},  // Alt no longer held
    };
    for (const auto& c : cases) ExpectPosted(receiver, c.actions, c.posted);
}

TEST_F(HookObserverTest, EachInstallTakesTheTargetAndTheLatestHandle) {
    Receiver first(display_.Name()), second(display_.Name());
    const HookBlockView block;
    ASSERT_TRUE(block.ok());
    hooks_->HookMouse(first.Window());
    const std::uint32_t firstHandle = block.Field(kMouseHook);
    hooks_->HookMouse(first.Window());
    EXPECT_NE(block.Field(kMouseHook), 0u);
    EXPECT_NE(block.Field(kMouseHook), firstHandle);

    // The keyboard install names the window that gets both kinds from now on.
    hooks_->HookKeyboard(second.Window());
    EXPECT_EQ(block.Field(kTargetWindow), second.Window());
    ExpectPosted(second, "click 3", {kRight});

    // A target that has gone costs the observers nothing. The mouse observer is renewed to
    // name the next target; the keyboard observer is the one that posted into the void.
    second.Destroy();
    Xdotool("key b");
    hooks_->HookMouse(first.Window());
    Xdotool("key c click 1");
    // The events of "key b" may still be on their way when the target changes.
    std::vector<Message> got;
    while (got.empty() || got.back() != kLeft) {
        const std::vector<Message> next = first.Take(1);
        ASSERT_EQ(next.size(), 1u) << "the fence did not come";
        got.push_back(next.front());
    }
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(std::vector<Message>(got.end() - 3, got.end()),
              (std::vector<Message>{kKeyDown, kKeyUp, kLeft}));
}

TEST_F(HookObserverTest, UnhookingAndUnloadingEndEveryObserver) {
    Receiver receiver(display_.Name());
    const HookBlockView block;
    hooks_->HookMouse(receiver.Window());
    hooks_->HookKeyboard(receiver.Window());
    hooks_->UnhookMouse();
    EXPECT_EQ(block.Field(kMouseHook), 0u);
    EXPECT_EQ(ObserverThreads(), 1);
    // Without the mouse observer the click posts nothing before the key.
    Xdotool("click 1 key d");
    EXPECT_EQ(receiver.Take(2), (std::vector<Message>{kKeyDown, kKeyUp}));

    EXPECT_TRUE(hooks_->UnHookKeyboard());
    EXPECT_FALSE(hooks_->UnHookKeyboard());
    EXPECT_EQ(block.Field(kKeyboardHook), 0u);
    EXPECT_EQ(ObserverThreads(), 0);

    // Unloaded while both observe: the library ends them before its code goes.
    hooks_->HookMouse(receiver.Window());
    hooks_->HookKeyboard(receiver.Window());
    EXPECT_EQ(ObserverThreads(), 2);
    library_.reset();
    EXPECT_EQ(ObserverThreads(), 0);
}

TEST(HookObserverWithoutXInput2, InstallsNothing) {
    // Xvfb cannot do without XInput, but without generic events its XInput 2 is no use.
    VirtualDisplay display({.extraArguments = {"-extension", "Generic Event Extension"}});
    const HookScratch scratch;
    {
        const HookLibrary library = LoadHookLibrary(KORVEX_HOOKLIB_FILE, scratch.Dir());
        const HookExports hooks(library);
        const HookBlockView block;
        hooks.HookMouse(0x400001);
        hooks.HookKeyboard(0x400001);
        EXPECT_EQ(block.Field(kMouseHook), 0u);
        EXPECT_EQ(block.Field(kKeyboardHook), 0u);
        EXPECT_EQ(ObserverThreads(), 0);
    }
}

}  // namespace
