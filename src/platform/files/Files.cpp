#include "platform/files/Files.h"

#include <unistd.h>

#if defined(__EMSCRIPTEN__)
#include <emscripten.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "base/Errors.h"

namespace fs = std::filesystem;

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The one entry of `folder` whose name matches `name` ignoring case; empty when
// there is none or more than one.
std::string CaseInsensitiveMatch(const fs::path& folder, const std::string& name) {
    std::error_code error;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, error);
    if (error) return {};
    std::string found;
    for (const auto& entry : it) {
        const std::string candidate = entry.path().filename().string();
        if (EqualsIgnoringCase(candidate, name)) {
            if (!found.empty()) return {};
            found = candidate;
        }
    }
    return found;
}

std::vector<std::string> SplitComponents(const std::string& path) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            if (!current.empty()) parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) parts.push_back(current);
    return parts;
}

#if defined(__EMSCRIPTEN__)
// In the browser the page fetches the content pack file by file while the
// demo loads and writes each into the in-memory file system as it arrives;
// a read waits (yielding to the browser) until the file is there or known
// to be missing.
EM_ASYNC_JS(void, WaitForFile, (const char* path), { await Module.velmoraFileArrived(UTF8ToString(path)); });
#else
void WaitForFile(const char*) {}
#endif

}  // namespace

std::string ExecutableFolder() {
    std::error_code error;
    const fs::path exe = fs::read_symlink("/proc/self/exe", error);
    if (error) throw DemoError("cannot find the program's folder: " + error.message());
    return exe.parent_path().string();
}

std::vector<std::string> DefaultContentFolders() {
    const fs::path program = ExecutableFolder();
    return {program.string(), (program / VELMORA_INSTALLED_CONTENT).lexically_normal().string()};
}

std::string FindContentFolder(const std::vector<std::string>& folders) {
    std::string looked;
    for (const std::string& folder : folders) {
        std::error_code error;
        if (fs::is_directory(ResolvePath(folder + "/data"), error)) return folder;
        looked += (looked.empty() ? "" : ", ") + folder;
    }
    throw ContentError("no content found (looked for a data folder in " + looked + "); give one with --data DIR");
}

std::string GivenContentFolder(const std::string& folder) {
    std::error_code error;
    const fs::path absolute = fs::absolute(folder, error).lexically_normal();
    const fs::file_status status = fs::status(absolute, error);
    if (!fs::exists(status)) throw ContentError("content folder " + folder + " does not exist");
    if (!fs::is_directory(status)) throw ContentError("content folder " + folder + " is not a folder");
    std::string text = absolute.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

std::string ResolvePath(const std::string& path) {
    const bool absolute = !path.empty() && (path[0] == '/' || path[0] == '\\');
    fs::path resolved = absolute ? fs::path("/") : fs::path();
    bool stillExists = true;
    for (const std::string& part : SplitComponents(path)) {
        if (part == ".") continue;
        fs::path exact = resolved / part;
        std::error_code error;
        if (stillExists && !fs::exists(exact, error) && part != "..") {
            const std::string match = CaseInsensitiveMatch(resolved, part);
            if (!match.empty()) {
                exact = resolved / match;
            } else {
                stillExists = false;
            }
        }
        resolved = exact;
    }
    return resolved.string();
}

std::string ReadWholeFile(const std::string& path) {
    WaitForFile(path.c_str());
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::is_directory(status)) throw ContentError(path + ": is a folder, not a file");
    // A pipe or device could block the read or never end.
    if (fs::exists(status) && !fs::is_regular_file(status)) throw ContentError(path + ": is not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ContentError(path + ": cannot open file (" + std::strerror(errno) + ")");
    std::ostringstream contents;
    contents << in.rdbuf();
    if (in.bad()) throw ContentError(path + ": cannot read file");
    return contents.str();
}

std::string ResolveMaterialTexture(const std::string& meshFolder, const std::string& stored) {
    const std::string asStored = ResolvePath(meshFolder + "\\" + stored);
    std::error_code error;
    if (fs::is_regular_file(asStored, error)) return asStored;
    // Modelling tools write the path the texture had on the machine they ran
    // on (C:\work\models\bottom.tga): the file usually travels beside the mesh.
    const size_t separator = stored.find_last_of("\\/:");
    const std::string name = separator == std::string::npos ? stored : stored.substr(separator + 1);
    const std::string beside = ResolvePath(meshFolder + "\\" + name);
    if (!name.empty() && fs::is_regular_file(beside, error)) return beside;
    throw ContentError("texture '" + stored + "' not found: neither at " + asStored + " nor beside the mesh at " +
                       beside);
}
