// Reading the camera file: text to records, records to path keys, and the
// files that are rejected at load because the camera could not fly them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <sstream>
#include <string>

#include "common/Variables.h"
#include "support/TestSupport.h"
#include "timeline/CameraFile.h"
#include "timeline/m_InitSteps.h"

namespace {

using ::testing::HasSubstr;

std::string ParseError(const std::string& text) {
    return ErrorMessage<ContentError>([&] { ParseCameraFile(text); });
}

// Each parsed record as "step eye eye-pace target target-pace".
std::vector<std::string> Records(const std::string& text) {
    std::vector<std::string> out;
    for (const CameraRecord& r : ParseCameraFile(text)) {
        std::ostringstream s;
        s << r.Step << ' ' << r.Eye.x << ' ' << r.Eye.y << ' ' << r.Eye.z << ' ' << r.EyePace << ' ' << r.Target.x
          << ' ' << r.Target.y << ' ' << r.Target.z << ' ' << r.TargetPace;
        out.push_back(s.str());
    }
    return out;
}

TEST(CameraFileParse, TextToRecords) {
    const struct {
        const char* what;
        const char* text;
        std::vector<std::string> records;
    } cases[] = {
        {"nine fields", "1,-40,20,300,500,0,0,50,450;\n", {"1 -40 20 300 500 0 0 50 450"}},
        {"quotes and carriage returns dropped, white space skipped",
         "\"2\",\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",\"7\",\"8\";\r\n"
         "\n 3 ,\t10,\n-20 , 30\t,\r\n 40,\n50,60,70,  80  ;\r\n",
         {"2 1 2 3 4 5 6 7 8", "3 10 -20 30 40 50 60 70 80"}},
        {"coordinates floored, paces and steps rounded half to even",
         "2.5,-0.5,7.9,-7.9,2.5,0.999,-1e-9,1e2,3.5;0.5,0,0,0,1.5,0,0,0,-2.5;",
         {"2 -1 7 -8 2 0 -1 100 4", "0 0 0 0 2 0 0 0 -2"}},
        {"empty", "", {}},
        {"no semicolon", "0,1,2,3,4,5,6,7,8\n", {}},
        {"fields past the ninth and text after the last semicolon ignored",
         "0,1,2,3,4,5,6,7,8,99,not a number;1,1,1,1,1,1,1,1,1\n", {"0 1 2 3 4 5 6 7 8"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Records(c.text), c.records) << c.what;
}

// A German locale, installed or compiled here into a folder of its own.
TEST(CameraFileParse, ThePointStaysTheSeparatorUnderACommaLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    TempDir dir;
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") &&
        RunCommand("localedef -i de_DE -f UTF-8 " + ShellQuote((dir.path() / "de_DE.UTF-8").string()) +
                   " 2>/dev/null").status == 0) {
        setenv("LOCPATH", dir.path().c_str(), 1);
        std::setlocale(LC_ALL, "de_DE.UTF-8");
        unsetenv("LOCPATH");
    }
    const bool comma = std::string(std::localeconv()->decimal_point) == ",";
    const auto records = Records("2.5,-0.5,7.9,-7.9,2.5,0.999,-1e-9,1e2,3.5;");
    std::setlocale(LC_ALL, previous.c_str());
    if (!comma) GTEST_SKIP() << "no German locale here and none could be compiled";
    EXPECT_EQ(records, std::vector<std::string>{"2 -1 7 -8 2 0 -1 100 4"});
}

TEST(CameraFileParse, RejectsBadRecordsNamingTheFileAndTheRecord) {
    const std::string good = "0,1,2,3,4,5,6,7,8;";
    const std::pair<std::string, const char*> cases[] = {
        {good + "0,1,2,3,4,5,6,7;", "cam.dat record 2: has 8 fields"},
        {good + ";" + good, "cam.dat record 2: has 1 field,"},
        {good + good + "0,1,2,abc,4,5,6,7,8;", "cam.dat record 3: eye z \"abc\" is not a number"},
        {"0,1,2,3,4,5,6,7,;", "record 1: target pace \"\" is not a number"},
        {"0,1.2.3,2,3,4,5,6,7,8;", "record 1: eye x"},
        {"0,1 2,2,3,4,5,6,7,8;", "record 1: eye x"},
        {"0,nan,2,3,4,5,6,7,8;", "is not a number"},
        {"0,0x10,2,3,4,5,6,7,8;", "is not a number"},
        {good + "4,1,2,3,4,5,6,7,8;", "record 2: step number 4 is outside 0 to 3"},
        {"-1,1,2,3,4,5,6,7,8;", "record 1: step number -1"},
        {"3.5,1,2,3,4,5,6,7,8;", "step number 4"},
        {"0,1,2,3,2147483648,5,6,7,8;", "record 1: eye pace"},
        {good + "0,1,2,3,4,5,6,7,-3e9;", "record 2: target pace -3000000000.000000 does not fit a 32-bit integer"},
        {"1e10,1,2,3,4,5,6,7,8;", "step"},
        {"0,1,2,1e39,4,5,6,7,8;", "record 1: eye z"},
    };
    for (const auto& [text, fragment] : cases) EXPECT_THAT(ParseError(text), HasSubstr(fragment)) << text;
    EXPECT_EQ(ParseError("+1,1,2,3,2147483647,5,6,7,-2147483648;"), "(no error)");
}

// Steps as m_InitSteps leaves them before the camera file is read.
void FreshSteps() {
    Steps.Redim(0, 3);
    for (int32_t i = 0; i <= 3; ++i) Steps[i] = NewStep(1000, 0, 0);
}

std::string AddError(const std::string& text) {
    FreshSteps();
    return ErrorMessage<ContentError>([&] { AddCameraKeys(ParseCameraFile(text)); });
}

TEST(CameraKeys, AddsKeysInFileOrderPerStepWhenStepsInterleave) {
    ASSERT_EQ(AddError("3,1,1,1,10,9,9,9,90;"
                       "0,5,0,0,50,6,0,0,60;"
                       "3,2,2,2,20,8,8,8,80;"
                       "3,3,3,3,30,7,7,7,70;"
                       "1,0,0,4,10,1,1,1,10;1,1,0,0,20,2,2,2,20;1,2,0,0,30,3,3,3,30;"),
              "(no error)");
    ASSERT_EQ(Steps[3].EyePath.UBound(), 2);
    ASSERT_EQ(Steps[3].TargetPath.UBound(), 2);
    for (int32_t k = 0; k <= 2; ++k) {
        const float v = static_cast<float>(k + 1), t = static_cast<float>(9 - k);
        ExpectPoint(Steps[3].EyePath[k].Position, v, v, v, 0);
        EXPECT_EQ(Steps[3].EyePath[k].Pace, 10 * (k + 1));
        ExpectPoint(Steps[3].TargetPath[k].Position, t, t, t, 0);
        EXPECT_EQ(Steps[3].TargetPath[k].Pace, 90 - 10 * k);
    }
    ASSERT_EQ(Steps[0].EyePath.UBound(), 0);
    ExpectPoint(Steps[0].EyePath[0].Position, 5, 0, 0, 0);
    ExpectPoint(Steps[0].TargetPath[0].Position, 6, 0, 0, 0);
    // A first key on the z axis is a real key; only the origin marks an empty path.
    ASSERT_EQ(Steps[1].EyePath.UBound(), 2);
    ExpectPoint(Steps[1].EyePath[0].Position, 0, 0, 4, 0);
    EXPECT_EQ(Steps[2].TargetPath.UBound(), 0);
}

TEST(CameraKeys, RejectsOnlyPathsTheCameraCannotFly) {
    const std::pair<const char*, const char*> cases[] = {
        // Two eye keys: activation would read the missing key 2.
        {"0,1,1,1,5,1,1,1,5;1,1,1,1,5,1,1,1,5;1,2,2,2,5,2,2,2,5;", "cam.dat record 3: step 1 has exactly two eye keys"},
        // A first target key at the origin is replaced, leaving the target path short.
        {"2,1,1,1,5,0,0,0,5;2,2,2,2,5,2,2,2,5;2,3,3,3,5,3,3,3,5;2,4,4,4,5,4,4,4,5;2,5,5,5,5,5,5,5,5;",
         "cam.dat record 1: step 2 has 4 target keys for 5 eye keys"},
        // Keys 2 to the second last time a segment; pace 0 there would divide by zero.
        {"0,1,1,1,5,1,1,1,5;0,2,2,2,5,2,2,2,5;0,3,3,3,5,3,3,3,5;0,4,4,4,0,4,4,4,5;0,5,5,5,5,5,5,5,5;",
         "cam.dat record 4: step 0 eye key 3 has pace 0"},
        // Pace 0 on keys 0, 1 and the last, and on the target path, is never divided by.
        {"0,1,1,1,0,1,1,1,0;0,2,2,2,0,2,2,2,0;0,3,3,3,5,3,3,3,0;0,4,4,4,0,4,4,4,0;", ""},
        // Three keys only stand the camera on key 2, so their paces are unused.
        {"1,1,1,1,0,1,1,1,0;1,2,2,2,0,2,2,2,0;1,3,3,3,0,3,3,3,0;", ""},
        // A longer target path is read only up to the eye path's length.
        {"2,0,0,0,5,1,1,1,5;2,2,2,2,5,2,2,2,5;", ""},
    };
    for (const auto& [text, error] : cases) {
        const std::string said = AddError(text);
        if (*error == '\0') {
            EXPECT_EQ(said, "(no error)") << text;
        } else {
            EXPECT_THAT(said, HasSubstr(error)) << text;
        }
    }
}

TEST(CameraFileLoad, MissingEmptyAndBadFiles) {
    TempDir dir;
    AppPath = dir.path().string();
    std::vector<std::string> messages;
    const auto init = [&] { InitSteps([&](const std::string& m) { messages.push_back(m); }); };
    EXPECT_THAT(ErrorMessage<ContentError>(init), HasSubstr((dir.path() / "cam.dat").string()));
    // An empty file leaves only the placeholder keys.
    dir.Write("cam.dat", "");
    init();
    for (int32_t s = 0; s <= 3; ++s) {
        EXPECT_EQ(Steps[s].EyePath.UBound(), 0);
        EXPECT_EQ(Steps[s].TargetPath.UBound(), 0);
    }
    // Errors stop the load before the last light.
    dir.Write("cam.dat", "0,1,1,1,5,1,1,1,5;\r\n9,1,1,1,5,1,1,1,5;\r\n");
    messages.clear();
    EXPECT_THROW(init(), ContentError);
    EXPECT_EQ(Steps[0].LightOn[0], False16);
    EXPECT_EQ(messages.size(), 4u);
}

}  // namespace
