#include "platform/capture/SegmentJoin.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "base/Errors.h"
#include "platform/capture/VideoCapture.h"

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The file's global metadata as ffmpeg reads it back (Matroska may change the
// keys' case).
std::map<std::string, std::string> ReadMetadata(const std::string& file) {
    const std::string command = "ffmpeg -nostdin -loglevel error -i " + QuoteForShell(file) + " -f ffmetadata - 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) throw DemoError("cannot start ffmpeg to read " + file);
    std::string text;
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
    if (pclose(pipe) != 0) throw DemoError("ffmpeg cannot read the video " + file);
    std::map<std::string, std::string> tags;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        const size_t equals = line.find('=');
        if (equals != std::string::npos && line[0] != ';') tags[Lower(line.substr(0, equals))] = line.substr(equals + 1);
        at = end + 1;
    }
    return tags;
}

uint64_t Number(const std::map<std::string, std::string>& tags, const std::string& key, const std::string& file) {
    const auto found = tags.find(key);
    uint64_t value = 0;
    if (found == tags.end()) {
        throw DemoError(file + " is not a part of a run (no " + key + " in its metadata; parts are made by --capture with --start)");
    }
    const std::string& text = found->second;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        throw DemoError(file + ": " + key + " is not a number: '" + text + "'");
    }
    return value;
}

std::string ConcatListLine(const std::string& file) {
    std::string quoted = "file '";
    for (char c : std::filesystem::absolute(file).string()) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'\n";
}

}  // namespace

SegmentPlace ReadSegmentPlace(const std::string& file) {
    const std::map<std::string, std::string> tags = ReadMetadata(file);
    SegmentPlace place;
    place.file = file;
    place.fps = static_cast<uint32_t>(Number(tags, "velmora_fps", file));
    place.firstFrame = Number(tags, "velmora_first_frame", file);
    place.frames = Number(tags, "velmora_frames", file);
    place.timelineFrame = Number(tags, "velmora_timeline_frame", file);
    if (tags.contains("velmora_seed")) place.seed = static_cast<uint32_t>(Number(tags, "velmora_seed", file));
    if (const auto size = tags.find("velmora_size"); size != tags.end()) place.size = size->second;
    if (place.fps == 0) throw DemoError(file + ": its frame rate is 0");
    return place;
}

std::vector<SegmentPlace> OrderSegments(std::vector<SegmentPlace> parts) {
    if (parts.empty()) throw DemoError("no parts to join");
    std::stable_sort(parts.begin(), parts.end(),
                     [](const SegmentPlace& a, const SegmentPlace& b) { return a.firstFrame < b.firstFrame; });
    if (parts.front().firstFrame != 0) {
        throw DemoError("the first part, " + parts.front().file + ", starts at frame " +
                        std::to_string(parts.front().firstFrame) + ", not at the run's start (make it with --start 0)");
    }
    const SegmentPlace& first = parts.front();
    const auto seedText = [](const SegmentPlace& part) {
        return part.seed ? "seed " + std::to_string(*part.seed) : std::string("no --seed");
    };
    for (const SegmentPlace& part : parts) {
        if (parts.size() > 1 && !part.seed) {
            throw DemoError(part.file + " was made without --seed: its fountain cannot continue in the other parts");
        }
        if (&part == &first) continue;
        if (part.fps != first.fps || part.timelineFrame != first.timelineFrame) {
            throw DemoError(part.file + " is from another run than " + first.file + " (frame rate or loading differ)");
        }
        if (part.seed != first.seed) {
            throw DemoError(part.file + " is from another run than " + first.file + ": " + seedText(part) + ", not " +
                            seedText(first));
        }
        if (part.size != first.size) {
            throw DemoError(part.file + " is from another run than " + first.file + ": " + part.size + " pixels, not " +
                            first.size);
        }
    }
    for (size_t i = 1; i < parts.size(); ++i) {
        const SegmentPlace& before = parts[i - 1];
        const SegmentPlace& part = parts[i];
        if (part.firstFrame == before.firstFrame) {
            throw DemoError(part.file + " and " + before.file + " are the same part (from frame " +
                            std::to_string(part.firstFrame) + "): give it once");
        }
        const uint64_t expected = before.firstFrame + before.frames;
        if (part.firstFrame > expected) {
            throw DemoError("frames " + std::to_string(expected) + " to " + std::to_string(part.firstFrame - 1) +
                            " are missing: " + before.file + " ends before frame " + std::to_string(expected) +
                            ", " + part.file + " starts at frame " + std::to_string(part.firstFrame));
        }
        if (part.firstFrame < expected) {
            throw DemoError(part.file + " starts at frame " + std::to_string(part.firstFrame) + " but " + before.file +
                            " ends before frame " + std::to_string(expected));
        }
    }
    return parts;
}

uint64_t JoinSegments(const std::vector<std::string>& files, const std::string& output, const std::string& musicPath) {
    std::vector<SegmentPlace> parts;
    for (const std::string& file : files) {
        std::error_code error;
        if (!std::filesystem::exists(file, error)) throw DemoError("the part " + file + " is missing");
        parts.push_back(ReadSegmentPlace(file));
    }
    parts = OrderSegments(std::move(parts));

    const std::filesystem::path out(output);
    const std::string scratch = (out.parent_path() / (".velmora-join-" + out.filename().string())).string();
    std::vector<std::filesystem::path> made;
    const auto removeMade = [&made] {
        std::error_code ignored;
        for (const std::filesystem::path& file : made) std::filesystem::remove(file, ignored);
    };
    try {
        // The concat demuxer places each file after the one before by the
        // files' start times and lengths, which the parts' sound (the AAC
        // encoder's priming) would shift: each part's video is taken alone,
        // its times moved to start at zero (the demuxer cannot always tell a
        // short file's start), its length given in frames.
        std::ostringstream list;
        for (size_t i = 0; i < parts.size(); ++i) {
            const std::filesystem::path video = scratch + "-" + std::to_string(i) + ".mkv";
            made.push_back(video);
            const std::string take = "ffmpeg -nostdin -loglevel error -y -i " + QuoteForShell(parts[i].file) +
                                     " -map 0:v -c copy -bsf:v setts=ts=TS-STARTDTS " + QuoteForShell(video.string());
            if (std::system(take.c_str()) != 0) throw DemoError("ffmpeg could not read the video of " + parts[i].file);
            char duration[64];
            std::snprintf(duration, sizeof duration, "duration %.6f\n", double(parts[i].frames) / parts[i].fps);
            list << ConcatListLine(video.string()) << duration;
        }
        const std::filesystem::path listFile = scratch + ".txt";
        made.push_back(listFile);
        std::ofstream(listFile) << list.str();
        const std::filesystem::path joined = scratch + ".mkv";
        made.push_back(joined);
        const std::string command = "ffmpeg -nostdin -loglevel error -y -f concat -safe 0 -i " + QuoteForShell(listFile.string()) +
                                    " -map 0:v -c copy " + QuoteForShell(joined.string());
        if (std::system(command.c_str()) != 0) throw DemoError("ffmpeg could not join the parts into " + joined.string());

        uint64_t frames = 0;
        for (const SegmentPlace& part : parts) frames += part.frames;
        const SegmentPlace& first = parts.front();
        MuxVideoWithMusic({joined.string(), output, first.fps, frames, first.timelineFrame, 0.0, musicPath, {}});
        removeMade();
        return frames;
    } catch (...) {
        removeMade();
        throw;
    }
}
