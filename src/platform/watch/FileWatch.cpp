#include "platform/watch/FileWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "base/Errors.h"

namespace {

constexpr uint32_t kFileEvents = IN_CLOSE_WRITE | IN_MOVED_TO;
constexpr uint32_t kFolderEvents = IN_CREATE | IN_MOVED_TO;

}  // namespace

FileWatch::FileWatch(const std::filesystem::path& root) {
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) throw DemoError(std::string("cannot watch files: ") + std::strerror(errno));
    try {
        Add(root);
    } catch (...) {
        close(fd_);
        throw;
    }
}

FileWatch::~FileWatch() { close(fd_); }

void FileWatch::Add(const std::filesystem::path& folder) {
    const int wd = inotify_add_watch(fd_, folder.c_str(), kFileEvents | kFolderEvents | IN_ONLYDIR);
    if (wd < 0) throw DemoError("cannot watch " + folder.string() + ": " + std::strerror(errno));
    folders_[wd] = folder;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.is_directory(error)) Add(entry.path());
    }
}

std::vector<std::filesystem::path> FileWatch::Changed() {
    std::vector<std::filesystem::path> changed;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t length = read(fd_, buffer, sizeof buffer);
        if (length <= 0) break;
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            const auto folder = folders_.find(event->wd);
            if (folder == folders_.end() || event->len == 0) continue;
            const std::filesystem::path path = folder->second / event->name;
            if (event->mask & IN_ISDIR) {
                std::error_code error;
                if (std::filesystem::is_directory(path, error)) Add(path);
                continue;
            }
            if ((event->mask & kFileEvents) == 0) continue;
            if (std::find(changed.begin(), changed.end(), path) == changed.end()) changed.push_back(path);
        }
    }
    return changed;
}
