// The key state as the main window asks it when a hook message comes: the hook library's real
// messages on the application's own connection, real keys from xdotool.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <xcb/xcb.h>

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QWindow>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "platform/keys/keys.h"
#include "tests/support/hook_library.h"
#include "tests/support/virtual_display.h"

namespace {

namespace fs = std::filesystem;
namespace keys = platform::keys;
using namespace korvex::test;

constexpr int kOrder[] = {keys::VK_RETURN, keys::VK_ESCAPE, keys::VK_F9,
                          keys::VK_F10,    keys::VK_F11,    keys::VK_F12};

// For each key-down hook message: the first key in the main window's order that answers
// non-zero, and its answer.
struct Answer {
    int vk = 0;
    std::int16_t state = 0;
};

class KeyDownHandler : public QAbstractNativeEventFilter {
public:
    explicit KeyDownHandler(keys::KeyState& state) : state_(state) {}
    std::optional<Answer> last;
    int handled = 0;

    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override {
        auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) return false;
        auto* m = reinterpret_cast<xcb_client_message_event_t*>(event);
        if (m->data.data32[0] != keys::WM_HOOK_KEYBOARD || m->data.data32[1] != keys::WM_KEYDOWN) {
            return false;
        }
        ++handled;
        last.reset();
        for (int vk : kOrder) {
            if (const std::int16_t s = state_.GetAsyncKeyState(vk); s != 0) {
                last = Answer{vk, s};
                break;
            }
        }
        return true;
    }

private:
    keys::KeyState& state_;
};

class KeyStateTest : public testing::Test {
protected:
    void SetUp() override {
        library_ = LoadHookLibrary(KORVEX_HOOKLIB_FILE, scratch_.Dir());
        ASSERT_NE(library_, nullptr);
        hooks_ = std::make_unique<HookExports>(library_);
        window_.create();
        app_.installNativeEventFilter(&handler_);
    }
    void TearDown() override {
        app_.removeNativeEventFilter(&handler_);
        library_.reset();
    }

    // The keys are typed while the event loop stands still, as on a busy main thread: every
    // hook message is handled after the keys were released again.
    void Type(const std::string& keysToType, int messages) {
        const int before = handler_.handled;
        ASSERT_EQ(std::system(("xdotool " + keysToType).c_str()), 0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (handler_.handled < before + messages &&
               std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        ASSERT_EQ(handler_.handled, before + messages) << keysToType;
    }

    VirtualDisplay display_;
    int argc_ = 1;
    char name_[16] = "keys_test";
    char* argv_[2] = {name_, nullptr};
    QGuiApplication app_{argc_, argv_};
    keys::KeyState state_;
    KeyDownHandler handler_{state_};
    QWindow window_;
    HookScratch scratch_;
    HookLibrary library_;
    std::unique_ptr<HookExports> hooks_;
};

TEST_F(KeyStateTest, AKeyPressedSinceTheLastQuestionCountsOnceEvenWhenReleased) {
    // Typed before anything listened for hook messages: only the latest press counts, so
    // this Return cannot mark the letter below.
    ASSERT_EQ(std::system("xdotool key Return"), 0);
    hooks_->HookKeyboard(window_.winId());

    const struct {
        const char* typed;
        std::optional<int> vk;
        std::int16_t state;
    } cases[] = {
        {"key a", std::nullopt, 0},
        {"key F11", keys::VK_F11, 1},
        {"key Escape", keys::VK_ESCAPE, 1},
        {"keydown F9", keys::VK_F9, static_cast<std::int16_t>(0x8001)},
    };
    for (const auto& c : cases) {
        Type(c.typed, 1);
        ASSERT_EQ(handler_.last.has_value(), c.vk.has_value()) << c.typed;
        if (c.vk) {
            EXPECT_EQ(handler_.last->vk, *c.vk) << c.typed;
            EXPECT_EQ(handler_.last->state, c.state) << c.typed;
        }
    }
    // Asked again while still held: down, but no new press.
    EXPECT_EQ(state_.GetAsyncKeyState(keys::VK_F9), static_cast<std::int16_t>(0x8000));
    ASSERT_EQ(std::system("xdotool keyup F9"), 0);
    EXPECT_EQ(state_.GetAsyncKeyState(0x41), 0) << "keys other than the six are never asked";
}

}  // namespace
