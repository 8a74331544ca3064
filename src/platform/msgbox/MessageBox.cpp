#include "platform/msgbox/MessageBox.h"

#include <SDL.h>

#include <iostream>

#include "platform/window/Window.h"

void ShowMessageBox(Window* parent, const std::string& title, const std::string& text) {
    std::cerr << title << ' ' << text << std::endl;
    if (parent == nullptr || parent->IsOffscreen()) return;
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), text.c_str(), parent->Handle());
}
