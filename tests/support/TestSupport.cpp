#include "support/TestSupport.h"

#include "base/Errors.h"
#include "common/Common.h"
#include "common/Variables.h"
#include "platform/font/Font.h"
#include "platform/sprite/Sprite.h"
#include "platform/window/Window.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <utility>

namespace {

class FakeTexture final : public Direct3DTexture8 {
public:
    FakeTexture(uint32_t w, uint32_t h, uint32_t levels, D3DPOOL pool) : w_(w), h_(h), levels_(levels), pool_(pool) {}
    uint32_t Width() const override { return w_; }
    uint32_t Height() const override { return h_; }
    uint32_t LevelCount() const override { return levels_; }
    D3DPOOL Pool() const override { return pool_; }

private:
    uint32_t w_, h_, levels_;
    D3DPOOL pool_;
};

class FakeMesh final : public D3DXMesh {
public:
    FakeMesh(RecordingDevice& device, const MeshGeometry& g) : device_(device), geometry_(g) {}
    HRESULT DrawSubset(DWORD attribId) override { return device_.Record({"DrawSubset", attribId}); }
    DWORD GetFVF() const override { return geometry_.fvf; }
    uint32_t GetNumVertices() const override { return static_cast<uint32_t>(geometry_.vertices.size()); }
    uint32_t GetNumFaces() const override { return static_cast<uint32_t>(geometry_.indices.size() / 3); }

private:
    RecordingDevice& device_;
    MeshGeometry geometry_;
};

template <class Map, class Key>
DWORD Lookup(const Map& map, const Key& key) {
    auto it = map.find(key);
    return it == map.end() ? 0 : it->second;
}

}  // namespace

void PrintTo(const DeviceCall& c, std::ostream* out) {
    *out << c.call << "(state " << c.state << ", value " << c.value << ", stage " << c.stage << ", after draw "
         << c.draw << ")";
}

HRESULT RecordingDevice::Record(DeviceCall call) {
    call.draw = static_cast<int>(drawn.size());
    calls.push_back(std::move(call));
    return failWith;
}
HRESULT RecordingDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride) {
    const size_t vertices = type == D3DPT_POINTLIST      ? count
                            : type == D3DPT_LINELIST     ? 2 * size_t{count}
                            : type == D3DPT_LINESTRIP    ? count + size_t{1}
                            : type == D3DPT_TRIANGLELIST ? 3 * size_t{count}
                            : type == D3DPT_TRIANGLESTRIP || type == D3DPT_TRIANGLEFAN ? count + size_t{2}
                                                                                       : 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    const HRESULT result = Record({"DrawPrimitiveUP", type, count});
    drawn.emplace_back(stride, std::vector<uint8_t>(bytes, bytes + (data ? vertices * stride : 0)));
    return result;
}
HRESULT RecordingDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) const {
    *value = Lookup(renderStates, state);
    return D3D_OK;
}
HRESULT RecordingDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) const {
    *value = Lookup(stageStates_, std::pair<DWORD, DWORD>{stage, type});
    return D3D_OK;
}
HRESULT RecordingDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) const {
    auto it = transforms.find(state);
    *matrix = it != transforms.end() ? it->second : D3DMATRIX{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    return D3D_OK;
}
HRESULT RecordingDevice::CreateTexture(const TextureImage& image, D3DPOOL pool,
                                       std::shared_ptr<Direct3DTexture8>& out) {
    if (image.levels.empty()) return D3DERR_INVALIDCALL;
    out = std::make_shared<FakeTexture>(image.levels[0].width, image.levels[0].height,
                                        static_cast<uint32_t>(image.levels.size()), pool);
    return failWith;
}
HRESULT RecordingDevice::CreateMesh(const MeshGeometry& geometry, std::shared_ptr<D3DXMesh>& out) {
    out = std::make_shared<FakeMesh>(*this, geometry);
    return failWith;
}
std::vector<DeviceCall> RecordingDevice::CallsTo(const std::string& call) const {
    std::vector<DeviceCall> result;
    for (const auto& c : calls) {
        if (c.call == call) result.push_back(c);
    }
    return result;
}

void ResetDemoGlobals() {
    Sprite.reset();
    FontSmall.reset();
    for (auto* texture : {&TexWhite, &TexLogoDds, &TexDot, &TexLogoJpg, &TexBajs, &TexTextEfter}) texture->reset();
    Meshes.Erase();
    Objects.Erase();
    Steps.Erase();
    D3DDevice.reset();
    D3DX.reset();
    D3D.reset();
    DX.reset();
    AppPath.clear();
    frmMain = nullptr;
    mp3 = nullptr;
    SystemClock = nullptr;
    Rng = nullptr;
    CurrentStep = LoadingCount = 0;
    posKey = targetKey = lastKey = startKey = 0;
    segmentT = 0;
    pathRunning = False16;
    cameraHeld = False32;
    demoRunning = False16;
    perfFrequency = perfLast = perfDelta = 0;
    startTick = endTick = 0;
}

RecordingDevice* InstallRecordingDevice() {
    auto owned = std::make_unique<RecordingDevice>();
    RecordingDevice* device = owned.get();
    D3DDevice = std::move(owned);
    return device;
}

std::shared_ptr<Direct3DTexture8> WhiteTexture(Direct3DDevice8& device, uint32_t width, uint32_t height) {
    TextureImage image;
    image.levels.push_back({width, height, std::vector<uint8_t>(size_t{width} * height * 4, 255)});
    std::shared_ptr<Direct3DTexture8> texture;
    Check(device.CreateTexture(image, D3DPOOL_MANAGED, texture), "CreateTexture");
    return texture;
}

LoadingScreenStage::LoadingScreenStage(Direct3DDevice8& device) {
    WindowOptions options;
    options.fullscreen = false;
    options.offscreen = true;
    window_ = std::make_unique<Window>(options);
    frmMain = window_.get();
    Sprite = std::make_unique<D3DXSprite>(device);
    TexWhite = WhiteTexture(device, 1, 1);
    TexLogoJpg = WhiteTexture(device, 512, 512);
    FontDescription font;
    font.faceName = "verdana";
    Check(CreateSystemFont(device, font, FontSmall), "CreateFont");
}

LoadingScreenStage::~LoadingScreenStage() {
    FontSmall.reset();
    TexWhite.reset();
    TexLogoJpg.reset();
    Sprite.reset();
    frmMain = nullptr;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) result.output.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

double FirstSound(const std::filesystem::path& file) {
    const std::string pcm =
        RunCommand("ffmpeg -loglevel error -i " + ShellQuote(file.string()) + " -map 0:a:0 -ac 1 -ar 8000 -f s16le -")
            .output;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        const int16_t sample = static_cast<int16_t>(uint8_t(pcm[i]) | uint8_t(pcm[i + 1]) << 8);
        if (std::abs(sample) > 4) return static_cast<double>(i / 2) / 8000;
    }
    return -1;
}

#ifdef VELMORA_BINARY
CommandResult RunProgram(const std::string& arguments, const std::string& prefix) {
    return RunCommand("SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy " + prefix + " " +
                      ShellQuote(VELMORA_BINARY) + " " + arguments);
}
#endif

TempDir::TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("velmora-test-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempDir::Write(const std::string& relative, const std::string& contents) const {
    const auto full = path_ / relative;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary);
    out << contents;
    return full;
}

void InstallDemoSteps(int32_t startTick) {
    Steps.Redim(0, 3);
    for (int32_t i = 0; i < 4; ++i) {
        Steps[i] = Step{};
        Steps[i].Duration = kDemoStepMilliseconds[i];
        Steps[i].EyePath.Redim(0, 0);
        Steps[i].TargetPath.Redim(0, 0);
    }
    CurrentStep = 0;
    Steps[0].StartTick = startTick;
    demoRunning = True16;
    pathRunning = False16;
    cameraHeld = True32;
}
