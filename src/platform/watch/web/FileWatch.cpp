// In the browser the pack lies on the page's in-memory file system, which
// nothing outside the page writes to: there is nothing to watch, and the
// notification descriptor of the desktop's watch stays unused.
#pragma clang diagnostic ignored "-Wunused-private-field"

#include "platform/watch/FileWatch.h"

FileWatch::FileWatch(const std::filesystem::path&) {}

FileWatch::~FileWatch() = default;

std::vector<std::filesystem::path> FileWatch::Changed() { return {}; }

void FileWatch::Add(const std::filesystem::path&) {}
