// Runs the real program on a copy of the content pack with one file damaged at
// a time: start-up must end with status 1 and one line naming the file, and no
// sanitizer may report anything. The content check runs on the same damage,
// all of it at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "loading/m_InitMesh.h"
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
RunResult RunDemo(const PackCopy& pack) {
    const fs::path output = pack.work() / "stdout.txt", errors = pack.work() / "stderr.txt";
    const CommandResult run = RunProgram("--data " + ShellQuote(pack.data().string()) +
                                         " --benchmark --fps 1 --seconds 120 >" + ShellQuote(output.string()) +
                                         " 2>" + ShellQuote(errors.string()));
    return {run.status, ReadFile(output), ReadFile(errors)};
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

const std::string kHouse = "data/house/house_01/house_01.x";

// One case per way a file can be damaged and per reader.
std::vector<Damage> Damages() {
    return {
        {"MeshCut", kHouse, Truncate(0.5), "house_01.x"},
        {"MeshBadHeader", "data/house/house_02/house_02.x", Patch32(8, 0x20706d63), "house_02.x"},
        {"MeshHugeCount", kHouse, Edit("Mesh (\\w+) \\{\\s*\\d+;", "Mesh $1 {\n 4000000000;"), "house_01.x"},
        {"MeshHugeFaceCount", "data/misc/wall/wall_01.x", Edit(";;\\s*\\d+;", ";;\n 999999999;"), "wall_01.x"},
        {"MeshEmpty", "data/Cathedral/cathedral.x", Truncate(0), "cathedral.x"},
        {"MeshIsAFolder", "data/misc/ground/ground1.x",
         [](const fs::path& p) {
             fs::remove(p);
             fs::create_directory(p);
         },
         "ground1.x"},
        {"MeshMissing", "data/misc/angel/female.x", kRemove, "female.x"},
        {"JpegCut", "text_efter.jpg", Truncate(0.5), "text_efter.jpg"},
        {"TgaCut", "white.tga", Truncate(0.9), "white.tga"},
        {"DdsBadHeader", "data/bajs.dds", Patch32(4, 125), "bajs.dds"},
        {"DdsHugeWidth", "data/misc/fountain/dot.dds", Patch32(16, 0x7FFFFFFF), "dot.dds"},
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

// The check reads the intact pack: every mesh of the demo's list listed, and
// the music's length from its frame headers as ffprobe decodes it.
TEST(ContentCheck, IntactPackWouldPlay) {
    const CommandResult run = RunProgram("--check " + ShellQuote(VELMORA_CONTENT_DIR));
    EXPECT_EQ(run.status, 0) << run.output;
    const std::regex meshLine("^mesh +(.*): [0-9]+ triangles, [0-9]+ materials?, [0-9]+ textures?$");
    std::set<std::string> meshes;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_match(line, match, meshLine)) meshes.insert(fs::path(match[1].str()).filename().string());
    }
    EXPECT_EQ(meshes.size(), 36u) << run.output;
    for (const MeshListRow& row : MeshList) EXPECT_EQ(meshes.count(row.File), 1u) << row.File;
    std::smatch length;
    ASSERT_TRUE(std::regex_search(run.output, length, std::regex("music +velmora5.mp3: ([0-9]+):([0-9.]+),")))
        << run.output;
    const CommandResult probe = RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " +
                                           ShellQuote(std::string(VELMORA_CONTENT_DIR) + "/velmora5.mp3"));
    EXPECT_NEAR(std::stod(length[1]) * 60 + std::stod(length[2]), std::stod(probe.output), 0.1);
    // Every step's flight ends within the step; every image is listed and counted.
    const std::regex flight("step [0-3]: [0-9]+ keys, flies ([0-9.]+) s of ([0-9.]+) s");
    int flights = 0;
    for (auto it = std::sregex_iterator(run.output.begin(), run.output.end(), flight); it != std::sregex_iterator();
         ++it, ++flights)
        EXPECT_LT(std::stod((*it)[1]), std::stod((*it)[2])) << (*it)[0];
    EXPECT_EQ(flights, 4) << run.output;
    const std::regex image("image +[^:]+: [0-9]+ x [0-9]+ (JPEG|TGA|DDS .*)");
    std::istringstream listed(run.output);
    int images = 0;
    for (std::string line; std::getline(listed, line);) images += std::regex_match(line, image);
    EXPECT_NE(run.output.find(", " + std::to_string(images) + " images,"), std::string::npos) << run.output;
}

// A camera file whose last step flies ten times slower than it lasts.
TEST(ContentCheck, SaysWhenAFlightIsCutShort) {
    PackCopy pack;
    std::istringstream records(ReadFile(pack.data() / "cam.dat"));
    std::string slowed;
    for (std::string record; std::getline(records, record, ';');) {
        std::vector<std::string> f;
        std::istringstream fields(record);
        for (std::string field; std::getline(fields, field, ',');) f.push_back(field);
        if (f.size() == 9 && std::stoi(f[0]) == 3) f[4] = std::to_string(std::stoi(f[4]) * 10);
        for (size_t i = 0; i < f.size(); ++i) slowed += (i ? "," : "") + f[i];
        if (f.size() == 9) slowed += ';';
    }
    std::ofstream(pack.data() / "cam.dat") << slowed;
    const CommandResult run = RunProgram("--check " + ShellQuote(pack.data().string()));
    EXPECT_NE(run.output.find(" s (cut short)\n"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("cut short"), run.output.rfind("cut short")) << "only the last step";
}

// A material naming its texture by an exporter's absolute path, the file
// beside the mesh: the demo plays it, so the check passes it.
TEST(ContentCheck, FindsATextureBesideTheMeshAsTheLoaderDoes) {
    PackCopy pack;
    Edit(R"("stone_grey\.jpg")", R"("C:\\work\\models\\stone_grey.jpg")")(pack.data() / kHouse);
    ASSERT_NE(ReadFile(pack.data() / kHouse).find(R"(C:\\work)"), std::string::npos);
    const CommandResult run = RunCommand(ShellQuote(VELMORA_BINARY) + " --check " + ShellQuote(pack.data().string()));
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("house_01/stone_grey.jpg: "), std::string::npos) << run.output;
}

// Every hostile case that damages a file not damaged yet, and music that is not
// MP3: the check names each file in a problem line of its own, and nothing else.
TEST(ContentCheck, ListsEveryDamagedFileAtOnce) {
    PackCopy pack;
    std::vector<Damage> damages = Damages();
    damages.push_back({"MusicNotMp3", "velmora5.mp3", Truncate(0), "velmora5.mp3"});
    std::set<std::string> damaged;
    std::vector<std::string> expected;
    for (const Damage& damage : damages) {
        if (!damaged.insert(damage.file).second) continue;
        damage.apply(pack.data() / damage.file);
        expected.push_back(damage.expected);
    }
    const CommandResult run = RunProgram("--check " + ShellQuote(pack.data().string()));
    EXPECT_EQ(run.status, 1) << run.output;
    std::vector<std::string> problems;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("PROBLEM ", 0) == 0) problems.push_back(line);
    }
    EXPECT_EQ(problems.size(), expected.size()) << run.output;
    for (const std::string& name : expected) {
        const auto names = [&](const std::string& problem) { return problem.find(name) != std::string::npos; };
        EXPECT_EQ(std::count_if(problems.begin(), problems.end(), names), 1) << name << " in\n" << run.output;
    }
}

}  // namespace
