#include "shell/CommandLine.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "platform/system/Clock.h"
#include "timeline/m_InitSteps.h"

namespace {

template <class T>
T ParseNumber(std::string_view option, std::string_view text) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw UsageError(std::string(option) + ": not a number: '" + std::string(text) + "'");
    }
    return value;
}

// "WxH", each side 16 to 16384 pixels.
void ParseSize(std::string_view text, CommandLine& line) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) throw UsageError("--size needs WIDTHxHEIGHT, not '" + std::string(text) + "'");
    line.width = ParseNumber<uint32_t>("--size", text.substr(0, x));
    line.height = ParseNumber<uint32_t>("--size", text.substr(x + 1));
    auto inRange = [](uint32_t side) { return side >= 16 && side <= 16384; };
    if (!inRange(line.width) || !inRange(line.height)) throw UsageError("--size: each side must be 16 to 16384 pixels");
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    bool fpsGiven = false;
    bool sizeGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> std::string_view {
            if (i + 1 >= argc) throw UsageError(std::string(arg) + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--version") {
            line.version = true;
        } else if (arg == "--windowed") {
            line.windowed = true;
        } else if (arg == "--no-audio") {
            line.noAudio = true;
        } else if (arg == "--benchmark") {
            line.benchmark = true;
        } else if (arg == "--data") {
            line.dataDir = std::string(value());
        } else if (arg == "--seed") {
            line.seed = ParseNumber<uint32_t>(arg, value());
        } else if (arg == "--capture") {
            line.capture = std::string(value());
            if (line.capture->empty()) throw UsageError("--capture needs a folder or a file name");
        } else if (arg == "--fps") {
            line.fps = ParseNumber<uint32_t>(arg, value());
            if (line.fps < 1 || line.fps > 1000) throw UsageError("--fps must be between 1 and 1000");
            fpsGiven = true;
        } else if (arg == "--seconds") {
            const double seconds = ParseNumber<double>(arg, value());
            if (!std::isfinite(seconds) || seconds <= 0) throw UsageError("--seconds must be a positive number");
            line.seconds = seconds;
        } else if (arg == "--size") {
            ParseSize(value(), line);
            sizeGiven = true;
        } else if (arg == "--msaa") {
            line.msaa = ParseNumber<int>(arg, value());
            if (*line.msaa != 0 && *line.msaa != 2 && *line.msaa != 4 && *line.msaa != 8) {
                throw UsageError("--msaa must be 0, 2, 4 or 8");
            }
        } else if (arg == "--check") {
            line.check = true;
            if (i + 1 < argc && argv[i + 1][0] != '-') line.checkDir = std::string(argv[++i]);
        } else if (arg == "--start") {
            const double start = ParseNumber<double>(arg, value());
            if (!std::isfinite(start) || start < 0 || start > 86400) {
                throw UsageError("--start must be a number of seconds from 0 to 86400");
            }
            line.start = start;
        } else if (arg == "--jobs") {
            line.jobs = ParseNumber<uint32_t>(arg, value());
            if (*line.jobs < 1 || *line.jobs > 256) throw UsageError("--jobs must be between 1 and 256");
        } else if (arg == "--plan") {
            line.plan = ParseNumber<uint32_t>(arg, value());
            if (*line.plan < 1 || *line.plan > 256) throw UsageError("--plan must be between 1 and 256");
        } else if (arg == "--map") {
            line.map = std::string(value());
            if (line.map->empty()) throw UsageError("--map needs a PNG file name");
        } else if (arg == "--watch") {
            line.watch = true;
        } else if (arg == "--lossless") {
            line.lossless = true;
        } else if (arg == "--join") {
            line.join = std::string(value());
            if (line.join->empty()) throw UsageError("--join needs an output file name");
            while (i + 1 < argc && std::string_view(argv[i + 1]).substr(0, 2) != "--") {
                line.joinSegments.emplace_back(argv[++i]);
            }
            if (line.joinSegments.empty()) throw UsageError("--join needs the segment videos after the output");
        } else if (line.plan && !line.capture && !arg.starts_with("-")) {
            line.capture = std::string(arg);
        } else {
            throw UsageError("unknown argument '" + std::string(arg) + "'");
        }
    }
    if (line.jobs && !line.capture) throw UsageError("--jobs applies only to --capture");
    if (line.plan && (!line.capture || line.jobs || line.join || line.benchmark || line.check)) {
        throw UsageError("--plan N needs the capture's output last and no --jobs, --join, --benchmark or --check");
    }
    if (line.lossless && (!line.capture || CaptureIsFolder(*line.capture))) {
        throw UsageError("--lossless applies only to a video --capture");
    }
    if (line.join && (line.capture || line.benchmark)) {
        throw UsageError("--join cannot be combined with --capture or --benchmark");
    }
    if (line.map && (line.capture || line.benchmark || line.check || line.join)) {
        throw UsageError("--map cannot be combined with --capture, --benchmark, --check or --join");
    }
    if (line.watch && (line.capture || line.benchmark || line.check || line.join || line.map)) {
        throw UsageError("--watch applies only to a live run");
    }
    if (line.capture && line.benchmark) throw UsageError("--capture and --benchmark cannot be combined");
    if (line.check && (line.capture || line.benchmark)) {
        throw UsageError("--check cannot be combined with --capture or --benchmark");
    }
    if (line.checkDir && line.dataDir) throw UsageError("give the folder to check either to --check or to --data");
    if ((fpsGiven || line.seconds) && !line.capture && !line.benchmark) {
        throw UsageError("--fps and --seconds apply only to --capture and --benchmark");
    }
    if (sizeGiven && !line.windowed && !line.capture && !line.benchmark) {
        throw UsageError("--size applies to --windowed, --capture and --benchmark; full screen takes the desktop's size");
    }
    // The encoder stores colour at half resolution in both directions.
    if (line.capture && !CaptureIsFolder(*line.capture) && (line.width % 2 != 0 || line.height % 2 != 0)) {
        throw UsageError("--size " + std::to_string(line.width) + "x" + std::to_string(line.height) +
                         ": a video capture needs even sides (H.264 keeps colour at half the size in each direction); "
                         "give even sides or capture PNG frames into a folder");
    }
    if (line.start) {
        // The frame rate the start is reached at: the capture's or benchmark's,
        // or the live run's fast-forward rate.
        const uint32_t rate =
            line.capture || line.benchmark ? line.fps : uint32_t{RealClock::kSkippedFramesPerSecond};
        const int32_t timeline = TimelineMilliseconds();
        if (TimelineFrameAt(*line.start, rate) >= TimelineFrameAt(timeline / 1000.0, rate)) {
            char text[160];
            std::snprintf(text, sizeof text, "--start %g: the timeline lasts %g s (the end screen follows it); start before that",
                          *line.start, timeline / 1000.0);
            throw UsageError(text);
        }
    }
    return line;
}

bool CaptureIsFolder(const std::string& capture) {
    if (!capture.empty() && capture.back() == '/') return true;
    std::error_code error;
    return std::filesystem::is_directory(capture, error);
}

int64_t TimelineFrameAt(double seconds, uint32_t fps) {
    return static_cast<int64_t>(std::ceil(seconds * fps - 1e-6));
}

const char* UsageText() {
    return "usage: velmora [options]\n"
           "\n"
           "  (no options)        full screen at the desktop's resolution; Esc ends the demo\n"
           "  --windowed          a resizable window (the picture keeps 4:3); default full screen\n"
           "  --size WxH          the size of the window, capture or benchmark (default 1024x768);\n"
           "                      the 4:3 picture is centred in it, black beside it; a video\n"
           "                      capture needs even sides\n"
           "  --msaa N            anti-aliasing samples per pixel: 0, 2, 4 or 8 (default 4 on a\n"
           "                      GPU, 0 on a software renderer such as llvmpipe)\n"
           "  --data DIR          content from DIR; default: the program's folder, then\n"
           "                      ../share/velmora beside it (an installed program)\n"
           "  --check [DIR]       read every content file of DIR (default: the content the demo\n"
           "                      would use) without playing; list every problem; exit 1 on any\n"
           "  --seed N            fixed random seed (the fountain); default: a new one each run\n"
           "  --no-audio          no music; default: music when there is a sound device\n"
           "  --capture OUT       render off screen with a fixed-step clock: OUT a folder\n"
           "                      (existing, or ending in /) gets PNG frames frame_000000.png ...;\n"
           "                      otherwise OUT is a video file encoded by ffmpeg with the music\n"
           "  --benchmark         render off screen as fast as possible; print one JSON line\n"
           "  --fps N             frames per second of --capture and --benchmark (default 60)\n"
           "  --seconds S         stop --capture or --benchmark after S seconds of demo time\n"
           "                      from the start, loading included, also with --jobs\n"
           "                      (default: the whole demo)\n"
           "  --start T           begin at T seconds of timeline time (after loading): every frame\n"
           "                      before it is run unshown; --seconds then counts from T, and a\n"
           "                      capture holds the frames from T only (from 0: the loading too);\n"
           "                      T must come before the timeline's end\n"
           "  --jobs N            --capture split into N segments rendered by N processes, joined\n"
           "  --plan N [OPTION...] OUT\n"
           "                      print the command lines of the N parts of a capture to OUT and\n"
           "                      the line that joins them (the seed fixed), for any scheduler\n"
           "  --lossless          encode the --capture video without loss\n"
           "  --join OUT SEG...   join segment videos made with --capture --start, music muxed once\n"
           "  --watch             live: load content files again when they change on disk, at the\n"
           "                      same timeline time; a file that does not load is shown on screen\n"
           "  --map OUT.png       draw each step's objects from above, the camera's path as flown,\n"
           "                      its keys, the fog's reach and the flight time; then exit\n"
           "  --help, --version\n"
           "\n"
           "Keys while it plays: Esc ends; Space pauses; Left/Right 5 s; Page Up/Down steps;\n"
           "Home start; , and . a frame while paused; F11 or Alt+Enter full screen; F12 saves\n"
           "the frame; I info line. The README and the manual page (man 6 velmora) list them.\n";
}
