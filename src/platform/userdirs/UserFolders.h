// The user's own folders as the desktop names them (XDG user directories).
#pragma once

#include <filesystem>

// The pictures folder: XDG_PICTURES_DIR from $XDG_CONFIG_HOME/user-dirs.dirs
// (default ~/.config), else ~/Pictures. Throws DemoError when HOME is unset.
std::filesystem::path PicturesFolder();
