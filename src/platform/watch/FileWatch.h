// Changes to the files of a folder tree, as the platform notifies them
// (inotify on Linux): files written and closed, and files moved into place,
// which is how editors that write a new file and rename it save.
#pragma once

#include <filesystem>
#include <map>
#include <vector>

class FileWatch {
public:
    // Watches `root` and every folder under it, and folders made later.
    // Throws DemoError naming the folder when it cannot.
    explicit FileWatch(const std::filesystem::path& root);
    ~FileWatch();
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

    // The files changed since the last call, each once, in the order first
    // seen; paths under `root` as it was given. Never waits.
    std::vector<std::filesystem::path> Changed();

private:
    void Add(const std::filesystem::path& folder);

    int fd_ = -1;
    std::map<int, std::filesystem::path> folders_;
};
