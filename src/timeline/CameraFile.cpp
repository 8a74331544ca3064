#include "timeline/CameraFile.h"

#include <array>
#include <charconv>
#include <cfloat>
#include <cmath>

#include "base/Errors.h"
#include "common/Common.h"
#include "common/Variables.h"
#include "timeline/m_InitSteps.h"

namespace {

constexpr int32_t kFieldCount = 9;
constexpr int32_t kStepCount = 4;

const char* const kFieldNames[kFieldCount] = {"step",     "eye x",    "eye y",    "eye z",     "eye pace",
                                              "target x", "target y", "target z", "target pace"};

[[noreturn]] void Fail(size_t record, const std::string& what) {
    throw ContentError("cam.dat record " + std::to_string(record) + ": " + what);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        if (end == std::string::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f'; }

// A decimal number with optional white space around it; '.' is the decimal point.
double ParseNumber(const std::string& field, size_t record, int32_t index) {
    size_t begin = 0, end = field.size();
    while (begin < end && IsBlank(field[begin])) ++begin;
    while (end > begin && IsBlank(field[end - 1])) --end;
    if (begin < end && field[begin] == '+' && end - begin > 1 && field[begin + 1] != '-') ++begin;
    double value = 0;
    const auto [last, error] = std::from_chars(field.data() + begin, field.data() + end, value);
    if (begin == end || error != std::errc() || last != field.data() + end || !std::isfinite(value)) {
        Fail(record, std::string(kFieldNames[index]) + " \"" + field + "\" is not a number");
    }
    return value;
}

int32_t ToInteger(double value, size_t record, int32_t index) {
    if (value >= 2147483647.5 || value < -2147483648.5) {
        Fail(record, std::string(kFieldNames[index]) + " " + std::to_string(value) +
                         " does not fit a 32-bit integer");
    }
    return RoundHalfEven(value);
}

float ToCoordinate(double value, size_t record, int32_t index) {
    const double floored = std::floor(value);
    if (std::fabs(floored) > FLT_MAX) {
        Fail(record, std::string(kFieldNames[index]) + " " + std::to_string(value) +
                         " does not fit a single-precision coordinate");
    }
    return static_cast<float>(floored);
}

}  // namespace

std::vector<CameraRecord> ParseCameraFile(const std::string& text) {
    std::string cleaned;
    cleaned.reserve(text.size());
    for (char c : text) {
        if (c != '\r' && c != '"') cleaned.push_back(c);
    }

    const std::vector<std::string> pieces = Split(cleaned, ';');
    std::vector<CameraRecord> records;
    // The piece after the last ';' is never a record.
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
        const size_t number = i + 1;
        const std::vector<std::string> fields = Split(pieces[i], ',');
        if (fields.size() < kFieldCount) {
            Fail(number, "has " + std::to_string(fields.size()) + " field" + (fields.size() == 1 ? "" : "s") +
                             ", nine are needed");
        }
        std::array<double, kFieldCount> v{};
        for (int32_t f = 0; f < kFieldCount; ++f) v[f] = ParseNumber(fields[f], number, f);

        CameraRecord r;
        r.Step = ToInteger(v[0], number, 0);
        if (r.Step < 0 || r.Step >= kStepCount) {
            Fail(number, "step number " + std::to_string(r.Step) + " is outside 0 to 3");
        }
        r.Eye = {ToCoordinate(v[1], number, 1), ToCoordinate(v[2], number, 2), ToCoordinate(v[3], number, 3)};
        r.EyePace = ToInteger(v[4], number, 4);
        r.Target = {ToCoordinate(v[5], number, 5), ToCoordinate(v[6], number, 6), ToCoordinate(v[7], number, 7)};
        r.TargetPace = ToInteger(v[8], number, 8);
        records.push_back(r);
    }
    return records;
}

void AddCameraKeys(const std::vector<CameraRecord>& records) {
    // For each step and path, the record that wrote each key.
    std::array<std::vector<size_t>, kStepCount> eyeFrom, targetFrom;
    std::array<size_t, kStepCount> firstRecord{};

    auto note = [](std::vector<size_t>& from, int32_t key, size_t record) {
        from.resize(static_cast<size_t>(key) + 1);
        from[static_cast<size_t>(key)] = record;
    };

    for (size_t i = 0; i < records.size(); ++i) {
        const CameraRecord& r = records[i];
        AddEyeKey(r.Step, r.Eye, r.EyePace);
        AddTargetKey(r.Step, r.Target, r.TargetPace);
        note(eyeFrom[r.Step], Steps[r.Step].EyePath.UBound(), i + 1);
        note(targetFrom[r.Step], Steps[r.Step].TargetPath.UBound(), i + 1);
        if (firstRecord[r.Step] == 0) firstRecord[r.Step] = i + 1;
    }

    for (int32_t s = 0; s < kStepCount; ++s) {
        const Step& step = Steps[s];
        const int32_t eyeKeys = step.EyePath.UBound() + 1;
        const int32_t targetKeys = step.TargetPath.UBound() + 1;
        const std::string name = "step " + std::to_string(s);
        // Activation reads key 2 of both paths whenever the eye path has more than one key.
        if (eyeKeys == 2) {
            Fail(eyeFrom[s][1], name + " has exactly two eye keys; a path needs one key, three keys, or four or "
                                       "more to fly");
        }
        if (eyeKeys >= 3 && targetKeys < eyeKeys) {
            Fail(firstRecord[s], name + " has " + std::to_string(targetKeys) + " target keys for " +
                                     std::to_string(eyeKeys) +
                                     " eye keys (a first target key at 0,0,0 is replaced by the next one)");
        }
        // Keys 2 to the second last each time a segment by dividing its length by the pace.
        if (eyeKeys >= 4) {
            for (int32_t k = 2; k <= eyeKeys - 2; ++k) {
                if (step.EyePath[k].Pace == 0) {
                    Fail(eyeFrom[s][static_cast<size_t>(k)],
                         name + " eye key " + std::to_string(k) + " has pace 0, which cannot time its segment");
                }
            }
        }
    }
}
