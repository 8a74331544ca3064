// A modal message box with an OK button. The text is also printed on stderr;
// with no display it is printed only.
#pragma once

#include <string>

class Window;

void ShowMessageBox(Window* parent, const std::string& title, const std::string& text);
