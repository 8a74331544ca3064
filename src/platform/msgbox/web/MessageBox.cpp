// In the browser the message takes the page's place: a page has no modal
// boxes worth the name, and the visitor must see why nothing plays.
#include "platform/msgbox/MessageBox.h"

#include <emscripten.h>

#include <iostream>

namespace {

EM_JS(void, ShowInPage, (const char* text), { Module.velmoraFailed(UTF8ToString(text)); });

}  // namespace

void ShowMessageBox(Window*, const std::string& title, const std::string& text) {
    const std::string line = title + ' ' + text;
    std::cerr << line << std::endl;
    ShowInPage(line.c_str());
}
