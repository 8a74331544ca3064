// Live reloading (--watch): when a file of the content folder changes on
// disk, what depends on it is loaded again and put in place whole: the camera
// paths from cam.dat, a stand-alone image, a mesh with its textures, or every
// mesh that uses a changed texture. A file that does not load leaves the last
// good content in place; its error is kept (and written to stderr once) until
// the file loads again.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

class FileWatch;

class ContentReload {
public:
    // Watches AppPath. Call once the content has loaded.
    ContentReload();
    ~ContentReload();
    ContentReload(const ContentReload&) = delete;
    ContentReload& operator=(const ContentReload&) = delete;

    struct Outcome {
        bool changed = false;  // a content file changed (loaded or not)
        bool camera = false;   // new camera paths are in Steps: the timeline must be run again
    };
    // Loads again what depends on each file changed since the last call.
    Outcome Poll();

    // One line per file that does not load, as the content check words it;
    // empty when everything loads.
    std::string Errors() const;

private:
    enum class Reloaded { kNothing, kContent, kCamera };
    // Throws when the file does not load.
    Reloaded Reload(const std::string& file);
    void ReloadMesh(size_t row);
    void NoteTextures(size_t row);

    std::unique_ptr<FileWatch> watch_;
    std::map<std::string, std::string> errors_;       // file: its error
    std::map<std::string, std::vector<size_t>> users_;  // texture file: the mesh list rows that use it
};
