#include "platform/userdirs/UserFolders.h"

#include <cstdlib>
#include <fstream>
#include <string>

#include "base/Errors.h"

namespace {

// A line XDG_PICTURES_DIR="$HOME/Pictures": the quoted value with $HOME
// expanded at its start; empty when the line is something else.
std::string PicturesEntry(const std::string& line, const std::string& home) {
    const std::string key = "XDG_PICTURES_DIR=\"";
    if (line.rfind(key, 0) != 0) return {};
    const size_t end = line.find('"', key.size());
    if (end == std::string::npos) return {};
    std::string value = line.substr(key.size(), end - key.size());
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    return value.empty() || value[0] != '/' ? std::string() : value;
}

}  // namespace

std::filesystem::path PicturesFolder() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') throw DemoError("HOME is not set: no pictures folder");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::filesystem::path configFolder =
        config != nullptr && *config == '/' ? std::filesystem::path(config) : std::filesystem::path(home) / ".config";
    std::ifstream dirs(configFolder / "user-dirs.dirs");
    for (std::string line; std::getline(dirs, line);) {
        const std::string entry = PicturesEntry(line, home);
        if (!entry.empty()) return entry;
    }
    return std::filesystem::path(home) / "Pictures";
}
