#include "platform/window/Window.h"

#include <SDL.h>

#if defined(__EMSCRIPTEN__)
#include <emscripten.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <string>

#include "base/Errors.h"

namespace {

constexpr int kOffscreenSurfaceSize = 16;

#if defined(__EMSCRIPTEN__)
constexpr bool kPageSizesWindow = true;
#else
constexpr bool kPageSizesWindow = false;
#endif

}  // namespace

Window::Window(const WindowOptions& options) : options_(options) {
#if defined(__EMSCRIPTEN__)
    // The page's canvas is the window, off screen too; the page sizes it and
    // takes it full screen. SDL reads keys from the canvas alone, so the
    // page keeps its own (F for full screen).
    options_.fullscreen = false;
    SDL_SetHint(SDL_HINT_EMSCRIPTEN_KEYBOARD_ELEMENT, "#canvas");
#else
    if (options.offscreen) SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    // Without a display SDL would end up drawing unseen off screen, after the
    // Wayland client library complained on stderr that there is no session to
    // connect to. A live run wants a display or a clear error.
    const bool wayland = std::getenv("WAYLAND_DISPLAY") != nullptr || std::getenv("XDG_RUNTIME_DIR") != nullptr;
    if (!options.offscreen) SDL_SetHint(SDL_HINT_VIDEODRIVER, wayland ? "x11,wayland,kmsdrm" : "x11,kmsdrm");
#endif
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        throw DemoError(std::string("cannot open the display: ") + SDL_GetError());
    }
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (!options_.fullscreen && !kPageSizesWindow) flags |= SDL_WINDOW_RESIZABLE;
    // Off screen nothing is shown: the picture lives in the device's own back
    // buffer, so the window's surface is kept tiny rather than a second frame.
    int width = options.offscreen ? kOffscreenSurfaceSize : options.outputWidth;
    int height = options.offscreen ? kOffscreenSurfaceSize : options.outputHeight;
    // Full screen the window is made at the desktop's size from the start, so
    // that it covers the screen even where no window manager resizes it.
    SDL_DisplayMode desktop{};
    const bool fullscreen = options_.fullscreen && !options.offscreen;
    if (fullscreen && SDL_GetDesktopDisplayMode(0, &desktop) == 0 && desktop.w > 0 && desktop.h > 0) {
        width = desktop.w;
        height = desktop.h;
    }
    window_ = SDL_CreateWindow("velmora", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height, flags);
    if (window_ == nullptr) {
        const std::string error = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        throw DemoError("cannot create the window: " + error);
    }
    if (fullscreen) {
        // The desktop's own mode: the picture is rendered at its resolution.
        SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
        SetCursorVisible(false);
    }
}

Window::~Window() {
    SDL_DestroyWindow(window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void Window::Show() { SDL_ShowWindow(window_); }

#if defined(__EMSCRIPTEN__)
// A shown frame waits for the browser's next display refresh, which also lets
// the page handle its input; frames nobody sees (capture, benchmark) do not.
EM_ASYNC_JS(void, AwaitAnimationFrame, (), { await new Promise(resolve => requestAnimationFrame(resolve)); });
#endif

void Window::PumpMessages() {
#if defined(__EMSCRIPTEN__)
    if (!options_.offscreen) AwaitAnimationFrame();
#endif
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        int key = 0;
        int shift = 0;
        if (event.type == SDL_KEYDOWN) {
            key = KeyCodeFromSdl(event.key.keysym.sym);
            shift = ShiftFromSdl(event.key.keysym.mod);
        } else if (event.type == SDL_QUIT) {
            // Closing the window ends the demo the way Esc does.
            key = kKeyEscape;
        } else {
            continue;
        }
        if (keyDown_) keyDown_(key, shift);
    }
}

void Window::OutputSize(uint32_t& width, uint32_t& height) const {
    int w = options_.outputWidth, h = options_.outputHeight;
    if (!options_.offscreen) SDL_GL_GetDrawableSize(window_, &w, &h);
    width = static_cast<uint32_t>(std::max(w, 1));
    height = static_cast<uint32_t>(std::max(h, 1));
}

void Window::Resize(int width, int height) {
    options_.outputWidth = width;
    options_.outputHeight = height;
    if (!options_.offscreen) SDL_SetWindowSize(window_, width, height);
}

void Window::SetCursorVisible(bool visible) { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }

void Window::SetFullscreen(bool fullscreen) {
    if (fullscreen == options_.fullscreen) return;
    if (SDL_SetWindowFullscreen(window_, fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) {
        throw DemoError(std::string("cannot change to ") + (fullscreen ? "full screen" : "a window") + ": " +
                        SDL_GetError());
    }
    options_.fullscreen = fullscreen;
    if (!fullscreen) SDL_SetWindowResizable(window_, SDL_TRUE);
    SetCursorVisible(!fullscreen);
}

int KeyCodeFromSdl(int32_t sdlKeySym) {
    switch (sdlKeySym) {
        case SDLK_ESCAPE: return kKeyEscape;
        case SDLK_RETURN: return kKeyReturn;
        case SDLK_PAGEUP: return kKeyPageUp;
        case SDLK_PAGEDOWN: return kKeyPageDown;
        case SDLK_HOME: return kKeyHome;
        case SDLK_LEFT: return kKeyLeft;
        case SDLK_RIGHT: return kKeyRight;
        case SDLK_F11: return kKeyF11;
        case SDLK_F12: return kKeyF12;
        default: break;
    }
    if (sdlKeySym >= SDLK_a && sdlKeySym <= SDLK_z) return sdlKeySym - SDLK_a + 'A';
    if (sdlKeySym >= 32 && sdlKeySym < 127) return sdlKeySym;
    return 0;
}

int ShiftFromSdl(uint16_t sdlModifiers) {
    int shift = 0;
    if (sdlModifiers & KMOD_SHIFT) shift |= kShiftMask;
    if (sdlModifiers & KMOD_CTRL) shift |= kCtrlMask;
    if (sdlModifiers & KMOD_ALT) shift |= kAltMask;
    return shift;
}
