// The demo's one window over SDL2: full screen or a resizable window, a
// key-down handler that runs only inside PumpMessages, and the size of the
// drawing area. The GL device renders into it (see platform/device).
#pragma once

#include <cstdint>
#include <functional>

struct SDL_Window;
class PresentListener;

struct WindowOptions {
    static constexpr int kRendererAntialiasing = -1;

    bool fullscreen = true;   // false: a resizable window
    bool offscreen = false;   // SDL's offscreen video driver, no display needed
    int logicalWidth = 1024;  // the drawing area the demo lays its picture out in
    int logicalHeight = 768;
    // A window's first size, or the frames' size off screen; full screen
    // takes the desktop's size.
    int outputWidth = 1024;
    int outputHeight = 768;
    int antialiasing = kRendererAntialiasing;  // samples per pixel, or the renderer's default
};

class Window {
public:
    using KeyDownHandler = std::function<void(int keyCode, int shift)>;

    explicit Window(const WindowOptions& options);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    void Show();
    void SetKeyDownHandler(KeyDownHandler handler) { keyDown_ = std::move(handler); }

    // One pass of the message pump: dispatches every pending event, then returns.
    // Key presses reach the key-down handler only here.
    void PumpMessages();

    // The drawing area in pixels. The picture is always laid out at the logical
    // size and scaled to the real window, so this is the logical size.
    int ClientWidth() const { return options_.logicalWidth; }
    int ClientHeight() const { return options_.logicalHeight; }

    // The size the picture is rendered into: the window's drawable area, or
    // the frames' size off screen.
    void OutputSize(uint32_t& width, uint32_t& height) const;
    // Resizes the window, or off screen the frames; the device follows from
    // its next frame.
    void Resize(int width, int height);
    int Antialiasing() const { return options_.antialiasing; }

    bool IsFullscreen() const { return options_.fullscreen; }
    // Full screen at the desktop's size, or back to a resizable window.
    void SetFullscreen(bool fullscreen);
    bool IsOffscreen() const { return options_.offscreen; }
    void SetCursorVisible(bool visible);

    SDL_Window* Handle() const { return window_; }

    // Who follows the presented frames (the fixed-step clock, capture); the
    // device created on this window reports every Present to it.
    void SetPresentListener(PresentListener* listener) { presentListener_ = listener; }
    PresentListener* GetPresentListener() const { return presentListener_; }

private:
    PresentListener* presentListener_ = nullptr;
    WindowOptions options_;
    SDL_Window* window_ = nullptr;
    KeyDownHandler keyDown_;
};

// Key codes of the keys beyond the printable ones, as the platform's virtual
// keys number them.
enum KeyCode : int {
    kKeyReturn = 13,
    kKeyEscape = 27,
    kKeyPageUp = 33,
    kKeyPageDown = 34,
    kKeyHome = 36,
    kKeyLeft = 37,
    kKeyRight = 39,
    kKeyF11 = 122,
    kKeyF12 = 123,
};

// The shift state handed to the key-down handler: a mask of these.
enum ShiftMask : int { kShiftMask = 1, kCtrlMask = 2, kAltMask = 4 };

// Translates an SDL key symbol to the key code the demo's handlers expect
// (27 for Esc, capitals for letters, the character code for the other
// printable keys, the KeyCode values above, 0 for the rest).
int KeyCodeFromSdl(int32_t sdlKeySym);

// The ShiftMask bits of SDL's key modifiers.
int ShiftFromSdl(uint16_t sdlModifiers);
