// The real demo, rendered whole off screen with a fixed-step clock, and its
// frames checked: the run's end and length, the fade to white and the end
// screen. One capture
// serves every check (the suite runs as one process).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/capture/VideoCapture.h"
#include "platform/texture/TextureLoader.h"
#include "support/DeviceHarness.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFps = 1;
constexpr double kTimelineSeconds = 150.2;
constexpr double kEndScreenSeconds = 7.0;
constexpr int kSteps = 4;

constexpr Rgb kLoadingClear{0, 0, 58};
constexpr Rgb kEndRed{255, 0, 0};

Frame Load(const fs::path& path) {
    DecodedImage image = DecodeImage(ReadFile(path), path.string());
    return Frame{std::move(image.rgba), image.width};
}

bool OpaqueWhite(const Frame& image, int x, int y) {
    x = std::clamp(x, 0, static_cast<int>(image.width) - 1);
    y = std::clamp(y, 0, static_cast<int>(image.Height()) - 1);
    const uint8_t* p = &image.rgba[(static_cast<size_t>(y) * image.width + static_cast<size_t>(x)) * 4];
    return p[0] == 255 && p[1] == 255 && p[2] == 255 && p[3] == 255;
}

// Whether window pixel (x, y) of a w x h window, covered by a 512 x 512 image
// stretched over the whole window, samples only keyed (pure white) texels.
bool SamplesOnlyKeyed(const Frame& image, int x, int y, int w, int h) {
    const double u = (x + 0.5) * 512 / w - 0.5, v = (y + 0.5) * 512 / h - 0.5;
    const int tx = static_cast<int>(std::floor(u)), ty = static_cast<int>(std::floor(v));
    for (int dy = 0; dy <= 1; ++dy)
        for (int dx = 0; dx <= 1; ++dx)
            if (!OpaqueWhite(image, tx + dx, ty + dy)) return false;
    return true;
}

// The real program with the content pack and `arguments`, its output kept.
CommandResult RunVelmora(const std::string& arguments) {
    return RunProgram("--data " + ShellQuote(VELMORA_CONTENT_DIR) + " " + arguments + " 2>&1");
}

// Moments of each step as the reference run drew them: the mean colour of
// each 64 x 64 block of the 1024 x 768 frame ("RRGGBB", 16 a row, rows top
// first), to within 10 per channel. A renderer's rounding moves a mean by a
// unit or two; a moved or missing object, a wrong light, fog or draw list or
// a misplaced overlay moves several blocks by far more. When the content
// changes on purpose, the failure prints the new rows.
struct View {
    int seconds;
    const char* what;
    const char* rows[12];
};
const View kViews[] = {
    {4, "the town, the credit fading",
     {"0808090A090B0C0B0D0E0D0F0F0E100F0E11100F11100F12100F12100F120F0F110F0E100E0D101512121311120B0A0B",
      "1816181E1C1F22202527252A312E34312E34312F35312F35312F35322F35322F35302E33252328302A2C2118181A1312",
      "2E221B362D282A282C3D3A3C474446474446484447413E43423E44403D43423E44413E44322F343531343E3631281D1A",
      "352F2B3D37333F3B39605B56635E58635E58635E58625D565E59534F4B4C474449474349413E42302D3140372F3B2F25",
      "393633403C39514D496B655F6B66606B655F6C66606A655F6C665E6B655A544F504D484D4D494D38353936313237302D",
      "3E3A3645413D66605B736D65706B64726C65716B64726C66716B63726C60605B57514D51514D514743473531342F2C2E",
      "413C384E494477716A78716977706878726A5861614A5F67485E65565E5C5D58585450535550555550533B373A2F2C2F",
      "423D38645E557D766A7C756B7D766A7E76693053603557653253622641535B5557585357585356595458494548322F31",
      "353231514C465C564E58534C5B554D57524B4F4E4C3C47503C464E464447454042444043433F414440423D393B302D2E",
      "2A2829332F313A36383B37383D393B3C37393C383A3D383A3C38393D393B3C38393D393A3C38393A36373330312B2829",
      "2421222E2B2B3431323935363E393B3C38393F3B3C3D393A3D383A3E3A3B3C38393E393B3A36373430312D2A2B242122",
      "0E0D0D1110101412131716161A18191A18191B191A18171A16161A1A191A1A18191917181816161413141110110E0D0D"}},
    {14, "the town, the logo fading",
     {"1918161D1C1B2220202523232725272927282B28292B282A2B28292624251D1B1B1917181715151513141210110E0D0D",
      "5651466963557973637F786980786B746E68666163655F61645F62645F61625C5E544F50433E3F3733342F2B2C272425",
      "68625A7E776C8E8677938A7B948C7B968D788A8272746E6A6A64666862646762656761656761645A5455454041302C2D",
      "7871658A8377938C7F968D7F968D7F968E7D968D79968D76867F71716C696A64666A6364686265666165605B5E524D4D",
      "81796D938A7C968E80958D80968D7E948C7C8D85778883738E867180776B6964666862666963656B6464676062585457",
      "847D72948B7C958D80928A7D767C75777C6B6C7C77667B797C8777757B6C7875666C65626963656762666761635C575A",
      "827C72938B7E9A8F7E596D6F2E5D6E3C5E64687C7A778583697C7B476167344F5B354B596E6767676265635D604C4748",
      "81796D90897E988E7D345E6C3265762B5A6A3264746E888E416C7A285366264E641F4157636364554F4F433E3E3C3838",
      "7670678781779B917F5D73732E5E6F3366773060712E5E6F2C5A6C244A60254B62324B5C68615F413D3E3D393A353131",
      "6D665A82796A918978948B757280773F626B2C596A2752642852662C495C4B586167615F4B4645413C3D3A36362F2B2C",
      "5A54496C66597C76688B84748A82728D8370827B6A726E6667615F625B59524C4B443F403C3837383434322F2F282526",
      "22201C292722302E2837352E3A383037342C282521211F1C23201F1D1B1B1E1C1C1C1A1A1614141816161110100F0E0F"}},
    {60, "the town from the square",
     {"04040604040705050906060A06060B07070B07070B07070B07070B07070B07070B06060B06060A050509040407040406",
      "09090F0C0C130E0E160F0F1810101A10101A11111B10101A10101A10101A10101A10101A0F0F180E0E160C0C1309090F",
      "0B0B120E0E160F0F1919151B1E171B1F171B342D301F181B1F171B1E171A20181B1F171B1F171B1E171A1813170B0B12",
      "0D0D150F0F1812111A3B251C3E281C42281D40281C432A1D452B1D442A1C442A1D442B1D482C1D452B1C41291B201616",
      "4631293729272D1F1D3E291E40291E43291F41291E422B1E422B1E472C1F452B1E462D1F442D1E492D1F472C1E3E281B",
      "4938304E3B32251E1E7C63488B7156755F49816849695239846A4C957A5A705A408A6E4A72593B907554977B57634E32",
      "4839334D3F3A332F2B7C6548AE8460BE926B7F67476852388A6F53D5A46C82624A886E4970593AB38862B68B64614D31",
      "2332162738192F36227861469475578F70548F7451604C347F674BA37F59705740987B52655034987857947553544129",
      "2930203B39353D3736513F2D4C3A294837264837264D3B2955422D513F2A4D3B274E3C28503E285C482F53402A423320",
      "302D2D3733343D38378A7151A38361927557947854765F41977B59B793678066499D8055796140A78761977A5556452C",
      "2724252E2B2B3631316D573EA67D5BC0936B826949634F36846950D3A0697B5C47886E495F4B329B77578060443B2E1E",
      "0E0D0E1413131412122A22183E34293E34293F3424292016372D22463B2E2D251C3F3423241C13352D2328221A15100A"}},
    {90, "the cathedral",
     {"1819182625251F202A1F212D2E2B2C2F2B2A2F2C2B2E2B2A302C2B2E2B2A2D2A29353331171A2828292F28262420201D",
      "3C3842666262655F60736F73716B6C6B64616C6462655E60665F616D66636D6563857E7A6D686D878078655C604C484A",
      "3F504D7873736962697D7572726B6D6D6562625A5C4D384E4C384E635C5E6C6462867F7B7A706F908B85726A70566559",
      "545B46837E7E696D687B7373746D6E6B64616660605345525244506660606C646289827E776E6D8C90847A79786A6E56",
      "545E558782816C6F677B7473716B6C6C64616B63616C64616B63616C64616B6361867F7B746F6F9393807B777A747763",
      "60575B8C868570686C817670746D6F817A796E66656E66636E6663756D6A857E7B88817D7D706B98928A8B7B787E766C",
      "67605D8B8685726B6B7C7470746D6FA19C9C7B7472918D95918D947E7774AAA3A089827E7A726D9F978B8E87828B8072",
      "655F5B8984837A7874807D75817D778C8A8486857F88868085847E8D8B84908D87858178827F7796918785807C837A6D",
      "66635C807A7579756F87867C77786F807F757E7E7478796F86857B77786E8281777F7F757E7D73958D837A7470696860",
      "5657506C6C647D7D736F716887867C7D7D737A7B71818177797A7083827877786E7D7D7385847A6D6E66717168585851",
      "5957505D5D555F605974756C86857A7E7E7475766D7B7B718B8A7F82817773746B76766D7D7C7371706753544D484943",
      "1213122727243735312B2C2824252237363245433E38383427292630312D44433E3B3A3623242120211E2B2A2723221F"}},
    {125, "the town again",
     {"04040604040705050906060A06060B07070B07070B07070B07070B07070B07070B06060B06060A050509040407040406",
      "09090F0C0C130E0E160F0F1810101A10101A10101A10101A10101A10101A10101A10101A0F0F180E0E160C0C1309090F",
      "0B0B120E0E160F0F1910101A10101A10101A10101A10101A10101A10101A10101A10101A10101A0F0F190E0E160B0B12",
      "0D0D150F0F1810101A10101A10101A10101A10101A10101A10101A10101A10101A10101A10101A10101A0F0F180D0D15",
      "0E0E1610101910101A10101A10101A10101A15141E10101A10101A10101A10101A10101A10101A10101A1010190E0E16",
      "0E0E1710101A1B131A3A2323311A193C1D184A2721431F1845201842201A4326233B1D193C1D19331A1910101A0E0E17",
      "0E0E1710101A5844407E635681635480685B826A5D7E685E866D5E7F6A6086675677645B8769586B5F604D52611A1B25",
      "191F171D241A6C675E90847993867A91857B8D81768F847B8F81758E847B9284788A827A928477777679596172282F2E",
      "3532323D39396A605C80736A88776B9A897A9A897995867AA38D7A90847AA0877389817AA48B75726B663D3A3930312A",
      "2F2C2C373434403B3C423D3E454141514C4D504B4C555051534E4F4C4749464244474244464244423E403A36362E2B2B",
      "2725252F2C2D3733333F3B3B403B3C454041433F3F433E3F433E3E403C3C423E3E423D3E403B3B3B3737322E2F282526",
      "0E0D0D1211111514141B19191A18181E1C1C1E1C1C1E1C1C1F1D1D1B19191C1A1A1C1A1B1816161615151311110F0E0E"}},
    {145, "the cathedral at the end",
     {"1A18181E1B1B2825232C29282419212B23172B251922242934302E302D2B332F2E312D2C2C2928302D29191E201C1F1D",
      "47424057504E645D5A6E6662736B68635B64615C637C736F756D69756C69776E6B746C686C64617970664E5D425E5745",
      "514B49635B587269666F6764736B67786F6B736B676F6763766D69766D696F6663746B68756D698C8276406460696853",
      "615A59766E6B87807D7A7270756D69716865746C687A716D726A67756C69766E6A79716D7F777391877B60625D71645F",
      "6660609C9696ABA6A9797275776E6A766E6A726966766E6A786F6B746B68746C68968F87B4AEAAA7A099837772817971",
      "68615FA6A09EAEA9AE766E6C847D7E827C817F797E867F83766D6A78706C756C69807773CBC5BDB3ACA59B90818D8374",
      "68615DB8B1A8B2ADB2968E8AAFA9ADB2ADB5B3AEB6B0ABB3968F8C857E7B7B736E756E6AD7D1C5B4ACA39B9080857C6E",
      "76746CBDB8ADAAA5A8A19CA19895959C999692918E94928F9895918C8B87908E88959288BCB5ABA6A09A7A7971857F72",
      "7370687D7B7469686A86828088867D74756C8281777D7D736F706789887D908E837A7A7177776E9D998E72726968655B",
      "53544D61625B73736A7A7A707D7D748281777E7E7488877C7F7F756A6C6463665E9F9B90A19E915C5F575C5E57747068",
      "4F4E48706E65817F757071687F7F759A978C6B6D645D615A4F544DA4A093AEA99C686961494E4764655D86827852514B",
      "0A0C0B0F1210111413413F3A3F3D383938343534304A484356534C403F3A1417151418161D1F1C44413C3A38342D2B28"}},
};

class DemoRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        exitCode_ = RunVelmora("--capture " + ShellQuote(dir_->path().string() + "/") + " --fps " +
                               std::to_string(kFps) + " --seed 1 > " + ShellQuote((dir_->path() / "log.txt").string()))
                        .status;
        while (fs::exists(FramePath(frames_))) ++frames_;
        // The loading screen's frames come first, on its blue background.
        while (loading_ < frames_ && Load(FramePath(loading_)).Pixel(1, 1) == kLoadingClear) ++loading_;

        if (frames_ == 0) return;
        const Frame end = Load(fs::path(VELMORA_CONTENT_DIR) / "text_efter.jpg");
        const Frame first = Load(FramePath(0));
        width_ = static_cast<int>(first.width);
        height_ = static_cast<int>(first.Height());
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                if (SamplesOnlyKeyed(end, x, y, width_, height_)) whiteInEndImage_.push_back({x, y});
            }
        }
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static fs::path FramePath(int index) { return dir_->path() / PngFrameWriter::FrameFileName(uint64_t(index)); }
    // The frame drawn `seconds` after the timeline began.
    static Frame At(double seconds) { return Load(FramePath(loading_ + static_cast<int>(seconds * kFps))); }
    static int TimelineFrames() { return frames_ - loading_ - EndFrames(); }
    static int EndFrames() { return static_cast<int>(kEndScreenSeconds * kFps); }

    static inline std::unique_ptr<TempDir> dir_;
    static inline int exitCode_ = -1, frames_ = 0, loading_ = 0, width_ = 0, height_ = 0;
    // Window pixels where the end image is keyed out.
    static inline std::vector<std::pair<int, int>> whiteInEndImage_;
};

TEST_F(DemoRun, EndsByItselfAfterTheWholeTimelineAndTheEndScreen) {
    EXPECT_EQ(exitCode_, 0) << ReadFile(dir_->path() / "log.txt");
    ASSERT_GT(frames_, 0);
    EXPECT_GT(loading_, 10);
    // Each step ends on the first frame past its duration, so the timeline can
    // run up to one frame per step long.
    EXPECT_GE(TimelineFrames(), static_cast<int>(std::ceil(kTimelineSeconds * kFps)));
    EXPECT_LE(TimelineFrames(), static_cast<int>(std::ceil(kTimelineSeconds * kFps)) + kSteps);
}

TEST_F(DemoRun, FadesToWhiteAndShowsTheEndScreen) {
    ASSERT_EQ(exitCode_, 0);
    // At 150 s the white overlay has alpha 232 of 255 over the whole window.
    const Frame fade = At(150);
    int darkest = 255;
    for (int y = 0; y < height_; y += 3)
        for (int x = 0; x < width_; x += 3) {
            const Rgb c = fade.Pixel(x, y);
            darkest = std::min({darkest, c.r, c.g, c.b});
        }
    EXPECT_GE(darkest, 225);

    ASSERT_GT(whiteInEndImage_.size(), 1000u);
    // Elsewhere the image itself, opaque over the whole window, corners included.
    const Frame image = Load(fs::path(VELMORA_CONTENT_DIR) / "text_efter.jpg");
    const std::pair<int, int> corners[] = {{2, 2}, {2, height_ - 3}, {width_ - 3, height_ / 2}, {width_ - 3, height_ - 3}};
    for (int i = frames_ - EndFrames(); i < frames_; ++i) {
        const Frame end = Load(FramePath(i));
        size_t red = 0;
        for (const auto& [x, y] : whiteInEndImage_) red += end.Pixel(x, y) == kEndRed;
        EXPECT_EQ(red, whiteInEndImage_.size()) << "frame " << i;
        for (const auto& [x, y] : corners)
            ExpectPixel(end, x, y, image.Pixel(x * 512 / width_, y * 512 / height_), 6, "the end image");
    }
}

TEST_F(DemoRun, EachStepShowsItsPicture) {
    ASSERT_EQ(exitCode_, 0);
    ASSERT_EQ(width_, 1024);
    ASSERT_EQ(height_, 768);
    for (const View& view : kViews) {
        const Frame frame = At(view.seconds);
        int wrong = 0;
        std::string drawn;
        for (int by = 0; by < 12; ++by) {
            for (int bx = 0; bx < 16; ++bx) {
                int sum[3] = {0, 0, 0};
                for (int y = by * 64; y < by * 64 + 64; ++y)
                    for (int x = bx * 64; x < bx * 64 + 64; ++x) {
                        const Rgb c = frame.Pixel(x, y);
                        sum[0] += c.r, sum[1] += c.g, sum[2] += c.b;
                    }
                char mean[8];
                std::snprintf(mean, sizeof mean, "%02X%02X%02X", (sum[0] + 2048) / 4096, (sum[1] + 2048) / 4096,
                              (sum[2] + 2048) / 4096);
                drawn += mean;
                for (int k = 0; k < 3; ++k) {
                    const int want = std::stoi(std::string(view.rows[by] + bx * 6 + k * 2, 2), nullptr, 16);
                    if (std::abs((sum[k] + 2048) / 4096 - want) > 10) {
                        ++wrong;
                        break;
                    }
                }
            }
            drawn += '\n';
        }
        EXPECT_EQ(wrong, 0) << view.what << " at " << view.seconds << " s; the blocks drawn:\n" << drawn;
    }
}

// A run started part-way shows exactly the frames of the run from the
// start, under the numbers they have there.
TEST_F(DemoRun, RunsStartedPartWayShowTheFramesOfTheWholeRun) {
    ASSERT_EQ(exitCode_, 0);
    for (int start : {20, 83, 149}) {
        SCOPED_TRACE(start);
        TempDir part;
        const CommandResult run = RunVelmora("--capture " + ShellQuote(part.path().string() + "/") + " --fps " +
                                             std::to_string(kFps) + " --seed 1 --start " + std::to_string(start) +
                                             " --seconds 2");
        ASSERT_EQ(run.status, 0) << run.output;
        for (int k = start; k < start + 2; ++k) {
            const std::string name = PngFrameWriter::FrameFileName(uint64_t(loading_ + k));
            ASSERT_TRUE(fs::exists(part.path() / name)) << name;
            EXPECT_TRUE(ReadFile(part.path() / name) == ReadFile(dir_->path() / name)) << name;
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(part.path()), fs::directory_iterator()), 2);
    }
}

// Split over two processes, a capture decodes to the frames and the sound of
// one made in one process; the music begins with the timeline.
TEST_F(DemoRun, ACaptureInTwoPartsEqualsOneInOne) {
    if (!FfmpegAvailable()) GTEST_SKIP() << "no ffmpeg";
    constexpr int kPartFps = 5, kPartSeconds = 3;
    TempDir out;
    std::string decoded[2][2];
    for (int jobs : {1, 2}) {
        const std::string file = (out.path() / ("jobs" + std::to_string(jobs) + ".mkv")).string();
        const CommandResult run = RunVelmora("--capture " + ShellQuote(file) + " --jobs " + std::to_string(jobs) +
                                             " --lossless --seed 1 --fps " + std::to_string(kPartFps) +
                                             " --seconds " + std::to_string(kPartSeconds));
        ASSERT_EQ(run.status, 0) << run.output;
        // Each picture decoded, and when it is shown (framemd5 rounds times to whole frames).
        decoded[jobs - 1][0] = RunCommand("ffmpeg -loglevel error -i " + ShellQuote(file) +
                                          " -map 0:v -f framemd5 - | grep -v '^#'; ffprobe -v error -select_streams v"
                                          " -show_entries packet=pts_time -of csv=p=0 " + ShellQuote(file))
                                   .output;
        decoded[jobs - 1][1] =
            RunCommand("ffmpeg -loglevel error -i " + ShellQuote(file) + " -map 0:a -f framemd5 - | grep -v '^#'").output;
        if (jobs == 2) {
            const double musicStart = FirstSound(fs::path(VELMORA_CONTENT_DIR) / "velmora5.mp3");
            EXPECT_NEAR(FirstSound(file), double(loading_) / kPartFps + musicStart, 0.05);
        }
    }
    EXPECT_EQ(std::count(decoded[1][0].begin(), decoded[1][0].end(), '\n'), 2 * (loading_ + kPartFps * kPartSeconds));
    EXPECT_TRUE(decoded[0][0] == decoded[1][0]) << "the pictures differ";
    EXPECT_FALSE(decoded[1][1].empty());
    EXPECT_TRUE(decoded[0][1] == decoded[1][1]) << "the sound differs";
}

}  // namespace
