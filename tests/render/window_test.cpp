#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

#include "platform/window/Window.h"

namespace {

void PushKey(SDL_Keycode key) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = key;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

TEST(WindowService, KeysReachTheHandlerOnlyInsideThePump) {
    WindowOptions options;
    options.fullscreen = false;
    options.offscreen = true;
    Window window(options);
    std::vector<int> keys;
    window.SetKeyDownHandler([&](int key, int) { keys.push_back(key); });
    PushKey(SDLK_ESCAPE);
    PushKey(SDLK_a);
    EXPECT_TRUE(keys.empty()) << "nothing is dispatched before the pump";
    window.PumpMessages();
    EXPECT_EQ(keys, (std::vector<int>{27, 'A'}));
    window.PumpMessages();
    EXPECT_EQ(keys.size(), 2u) << "one pass dispatches each event once";
    EXPECT_EQ(window.ClientWidth(), 1024);
    EXPECT_EQ(window.ClientHeight(), 768);
}

}  // namespace
