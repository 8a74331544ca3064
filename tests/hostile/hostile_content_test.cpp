// Runs the real program on a copy of the content pack with one file damaged at
// a time: start-up must end with status 1 and one line naming the file, and no
// sanitizer may report anything (in the sanitizer build the program is
// instrumented).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A copy of the pack that the program reads with --data.
class PackCopy {
public:
    PackCopy() {
        const fs::path source = VELMORA_CONTENT_DIR;
        fs::create_directories(data());
        for (const char* entry : {"data", "white.tga", "logo.jpg", "text_efter.jpg", "cam.dat", "velmora5.mp3"}) {
            fs::copy(source / entry, data() / entry, fs::copy_options::recursive);
        }
    }
    fs::path data() const { return dir_.path() / "pack"; }
    fs::path work() const { return dir_.path(); }

private:
    TempDir dir_;
};

struct RunResult {
    int status = -1;
    std::string output;
    std::string errors;
};

// The loading screen presents about a hundred frames, each one second of the
// fixed-step clock at 1 fps, so 120 s cover the whole loading and a few frames
// of the demo. The benchmark mode renders without writing any files.
RunResult RunDemo(const PackCopy& pack, const std::string& arguments = "--benchmark --fps 1 --seconds 120",
                  const std::string& environment = "") {
    const fs::path output = pack.work() / "stdout.txt", errors = pack.work() / "stderr.txt";
    const std::string command = environment + " SDL_AUDIODRIVER=dummy " + ShellQuote(VELMORA_BINARY) + " --data " +
                                ShellQuote(pack.data().string()) + " " + arguments + " >" +
                                ShellQuote(output.string()) + " 2>" + ShellQuote(errors.string());
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), ReadFile(output), ReadFile(errors)};
}

using Change = std::function<void(const fs::path&)>;

struct Damage {
    std::string name;
    std::string file;  // relative to the pack
    Change apply;
    std::string expected;  // what the message must name
};

// Test names in listings show the case's name rather than its bytes.
void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }

Change Truncate(double fraction) {
    return [fraction](const fs::path& p) { WriteFile(p, ReadFile(p).substr(0, size_t(double(fs::file_size(p)) * fraction))); };
}
Change Replace(const std::string& bytes) {
    return [bytes](const fs::path& p) { WriteFile(p, bytes); };
}
Change Patch32(size_t offset, uint32_t value) {
    return [offset, value](const fs::path& p) {
        std::string bytes = ReadFile(p);
        bytes.replace(offset, 4, reinterpret_cast<const char*>(&value), 4);
        WriteFile(p, bytes);
    };
}
// Replaces the first match of `pattern` in a text file with `replacement`.
Change Edit(const std::string& pattern, const std::string& replacement) {
    return [pattern, replacement](const fs::path& p) {
        const std::string text = ReadFile(p);
        const std::string edited =
            std::regex_replace(text, std::regex(pattern), replacement, std::regex_constants::format_first_only);
        ASSERT_NE(edited, text) << "the damage did not apply to " << p;
        WriteFile(p, edited);
    };
}
const Change kRemove = [](const fs::path& p) { fs::remove(p); };

// The first texture a mesh names, relative to the pack.
std::string FirstMeshTexture(const std::string& meshFolder, const std::string& meshFile) {
    const std::string text = ReadFile(fs::path(VELMORA_CONTENT_DIR) / meshFolder / meshFile);
    std::smatch m;
    if (!std::regex_search(text, m, std::regex("TextureFilename \\{\\s*\"([^\"]+)\""))) return {};
    return meshFolder + "/" + m[1].str();
}

const std::string kHouse = "data/house/house_01/house_01.x";

std::vector<Damage> Damages() {
    const std::string meshTexture = FirstMeshTexture("data/house/house_01", "house_01.x");
    return {
        {"MeshCutEarly", kHouse, Truncate(0.1), "house_01.x"},
        {"MeshCutHalfway", kHouse, Truncate(0.5), "house_01.x"},
        {"MeshCutLate", kHouse, Truncate(0.97), "house_01.x"},
        {"MeshBadHeader", "data/house/house_02/house_02.x", Patch32(8, 0x20706d63), "house_02.x"},
        {"MeshHugeCount", kHouse, Edit("Mesh (\\w+) \\{\\s*\\d+;", "Mesh $1 {\n 4000000000;"), "house_01.x"},
        {"MeshHugeFaceCount", "data/misc/wall/wall_01.x", Edit(";;\\s*\\d+;", ";;\n 999999999;"), "wall_01.x"},
        {"MeshEmpty", "data/Cathedral/cathedral.x", Replace(""), "cathedral.x"},
        {"MeshIsAFolder", "data/misc/ground/ground1.x",
         [](const fs::path& p) {
             fs::remove(p);
             fs::create_directory(p);
         },
         "ground1.x"},
        {"MeshMissing", "data/misc/angel/female.x", kRemove, "female.x"},
        {"MeshTextureMissing", meshTexture, kRemove, fs::path(meshTexture).filename().string()},
        {"JpegMissing", "logo.jpg", kRemove, "logo.jpg"},
        {"JpegCut", "text_efter.jpg", Truncate(0.5), "text_efter.jpg"},
        {"TgaCut", "white.tga", Truncate(0.9), "white.tga"},
        {"DdsBadHeader", "data/bajs.dds", Patch32(4, 125), "bajs.dds"},
        {"DdsHugeWidth", "data/misc/fountain/dot.dds", Patch32(16, 0x7FFFFFFF), "dot.dds"},
        {"DdsCut", "data/screens/logo.dds", Truncate(0.6), "logo.dds"},
        {"CameraBadNumber", "cam.dat", Edit("^([^;]*;[^;]*;[^,]*,[^,]*,)[^,]*", "$1 12x4"), "cam.dat record 3"},
        {"CameraBadStep", "cam.dat", Edit("^([^;]*;)[^,;]*", "$1 7"), "cam.dat record 2"},
    };
}

// No sanitizer spoke (in the sanitizer build the program is instrumented).
void ExpectNoSanitizerReport(const std::string& errors) {
    for (const char* report : {"AddressSanitizer", "LeakSanitizer", "runtime error"}) {
        EXPECT_EQ(errors.find(report), std::string::npos) << errors;
    }
}

class HostileContent : public ::testing::TestWithParam<Damage> {};

TEST_P(HostileContent, EndsStartUpWithOneLineNamingTheFile) {
    const Damage& damage = GetParam();
    ASSERT_FALSE(damage.file.empty()) << "the pack has no file for this case";
    PackCopy pack;
    const fs::path target = pack.data() / damage.file;
    ASSERT_TRUE(fs::exists(target)) << target;
    damage.apply(target);

    const RunResult run = RunDemo(pack);
    EXPECT_EQ(run.status, 1) << run.errors;
    ExpectNoSanitizerReport(run.errors);
    // The error is the last line, with the program's prefix.
    const size_t end = run.errors.find_last_not_of('\n');
    const std::string last = run.errors.substr(run.errors.rfind('\n', end) + 1, end - run.errors.rfind('\n', end));
    EXPECT_EQ(last.rfind("velmora: ", 0), 0u) << run.errors;
    EXPECT_NE(last.find(damage.expected), std::string::npos) << "the message does not name " << damage.expected << ": "
                                                              << last;
}

INSTANTIATE_TEST_SUITE_P(Pack, HostileContent, ::testing::ValuesIn(Damages()),
                         [](const ::testing::TestParamInfo<Damage>& info) { return info.param.name; });

// The same harness on the undamaged pack: the demo loads and renders.
TEST(HostileContentControl, IntactPackLoadsAndRenders) {
    PackCopy pack;
    const RunResult run = RunDemo(pack);
    EXPECT_EQ(run.status, 0) << run.errors;
    ExpectNoSanitizerReport(run.errors);
    std::smatch frames;
    ASSERT_TRUE(std::regex_search(run.output, frames, std::regex("\"frames\": ([0-9]+)"))) << run.output;
    EXPECT_GT(std::stoi(frames[1].str()), 0) << run.output;
}

// An encoder that takes three frames and then fails: the run ends with status
// 1 and a message saying where the frames it took are, and they are there.
TEST(HostileEncoder, FfmpegFailingMidCaptureEndsWithAClearErrorAndKeepsTheFrames) {
    const std::string real = RunCommand("command -v ffmpeg | tr -d '\\n'").output;
    if (real.empty()) GTEST_SKIP() << "ffmpeg is not installed";
    PackCopy pack;
    const fs::path bin = pack.work() / "bin";
    fs::create_directories(bin);
    WriteFile(bin / "ffmpeg", "#!/bin/sh\ncase \"$*\" in *-version*) exec " + ShellQuote(real) +
                                  " \"$@\";; esac\nhead -c " + std::to_string(1024 * 768 * 4 * 3) + " | " +
                                  ShellQuote(real) + " \"$@\"\nexit 1\n");
    fs::permissions(bin / "ffmpeg", fs::perms::owner_all);
    const fs::path video = pack.work() / "out.mp4";
    const RunResult run = RunDemo(pack, "--capture " + ShellQuote(video.string()) + " --fps 5 --seconds 4",
                                  "PATH=" + ShellQuote(bin.string()) + ":\"$PATH\"");
    const std::string& stderrText = run.errors;
    EXPECT_EQ(run.status, 1) << stderrText;
    ExpectNoSanitizerReport(stderrText);
    const fs::path kept = pack.work() / ".velmora-video-out.mp4.mkv";
    EXPECT_NE(stderrText.find("velmora: video capture: ffmpeg stopped accepting frames for " + video.string() +
                              " (the frames it took are in " + kept.string() + ")"),
              std::string::npos)
        << stderrText;
    ASSERT_TRUE(fs::exists(kept)) << stderrText;
    EXPECT_EQ(RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
                         "-of csv=p=0 " + ShellQuote(kept.string())).output,
              "3\n");
}

}  // namespace
