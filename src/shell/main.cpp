// The process entry point: parses the command line, sets up the platform
// objects, runs the demo and reports any error that escapes it.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include "common/Errors.h"
#include "common/Variables.h"
#include "platform/device/Device.h"
#include "platform/files/Files.h"
#include "platform/music/MusicPlayer.h"
#include "platform/system/Clock.h"
#include "platform/system/Random.h"
#include "platform/window/Window.h"
#include "shell/CommandLine.h"
#include "shell/Main.h"
#include "shell/m_Terminate.h"

namespace {

// Follows the presented frames: advances the fixed-step clock and ends a
// capture or benchmark once its demo time is up.
class PresentHooks final : public PresentListener {
public:
    PresentHooks(Clock& clock, std::optional<double> seconds) : clock_(clock), seconds_(seconds) {}

    void OnPresent(const uint8_t*, uint32_t, uint32_t) override {
        clock_.OnFramePresented();
        if (seconds_ && static_cast<double>(TickDifference(clock_.TickCount(), firstTick_)) >= *seconds_ * 1000.0) {
            m_Terminate();
        }
    }
    bool WantsPixels() const override { return false; }
    void Start() { firstTick_ = clock_.TickCount(); }

private:
    Clock& clock_;
    std::optional<double> seconds_;
    int32_t firstTick_ = 0;
};

std::string ContentFolder(const CommandLine& line) {
    if (!line.dataDir) return ExecutableFolder();
    std::error_code error;
    std::filesystem::path folder = std::filesystem::absolute(*line.dataDir, error).lexically_normal();
    std::string text = folder.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

int RunDemo(const CommandLine& line) {
    if (line.benchmark) throw UsageError("--benchmark is not available in this build yet");
    if (line.capture) throw UsageError("--capture is not available in this build yet");
    const bool offscreen = false;

    AppPath = ContentFolder(line);
    std::unique_ptr<Clock> clock;
    if (offscreen) {
        clock = std::make_unique<FixedStepClock>(line.fps);
    } else {
        clock = std::make_unique<RealClock>();
    }
    Random random;
    if (line.seed) random.FixSeed(*line.seed);
    std::unique_ptr<MusicPlayer> player = CreateMusicPlayer(!line.noAudio && !offscreen);

    WindowOptions options;
    options.fullscreen = !line.windowed && !offscreen;
    options.offscreen = offscreen;
    Window window(options);
    window.SetKeyDownHandler(frmMain_KeyDown);
    PresentHooks hooks(*clock, line.seconds);
    hooks.Start();
    window.SetPresentListener(&hooks);

    SystemClock = clock.get();
    Rng = &random;
    mp3 = player.get();
    frmMain = &window;
    frmMain_Load();
    return 0;
}

// Ends the process without running destructors: the device objects are
// dropped in their fixed order by m_Terminate and the rest goes with the process.
[[noreturn]] void EndProcess(int status) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const CommandLine line = ParseCommandLine(argc, argv);
        if (line.help) {
            std::cout << UsageText();
            return 0;
        }
        if (line.version) {
            std::cout << "velmora " << VELMORA_VERSION << '\n';
            return 0;
        }
        EndProcess(RunDemo(line));
    } catch (const UsageError& error) {
        std::cerr << "velmora: " << error.what() << "\n\n" << UsageText();
        EndProcess(2);
    } catch (const ProcessExit& exit) {
        EndProcess(exit.status);
    } catch (const std::exception& error) {
        std::cerr << "velmora: " << error.what() << std::endl;
        EndProcess(1);
    }
}
