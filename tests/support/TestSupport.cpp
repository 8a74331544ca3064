#include "support/TestSupport.h"

#include "common/Errors.h"
#include "common/Variables.h"
#include "platform/font/Font.h"
#include "platform/sprite/Sprite.h"
#include "platform/window/Window.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace {

std::string Join(const char* name, std::initializer_list<long long> args) {
    std::ostringstream out;
    out << name << '(';
    bool first = true;
    for (long long a : args) {
        if (!first) out << ',';
        out << a;
        first = false;
    }
    out << ')';
    return out.str();
}

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
    HRESULT DrawSubset(DWORD attribId) override {
        device_.calls.push_back(Join("DrawSubset", {attribId}));
        return device_.failWith;
    }
    DWORD GetFVF() const override { return geometry_.fvf; }
    uint32_t GetNumVertices() const override { return static_cast<uint32_t>(geometry_.vertices.size()); }
    uint32_t GetNumFaces() const override { return static_cast<uint32_t>(geometry_.indices.size() / 3); }

private:
    RecordingDevice& device_;
    MeshGeometry geometry_;
};

}  // namespace

HRESULT RecordingDevice::SetVertexShader(DWORD value) {
    calls.push_back(Join("SetVertexShader", {value}));
    fvf = value;
    return failWith;
}
HRESULT RecordingDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    calls.push_back(Join("SetRenderState", {state, value}));
    renderStates[state] = value;
    return failWith;
}
HRESULT RecordingDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    calls.push_back(Join("SetTextureStageState", {stage, type, value}));
    stageStates_[{stage, type}] = value;
    return failWith;
}
HRESULT RecordingDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX& matrix) {
    calls.push_back(Join("SetTransform", {state}));
    transforms[state] = matrix;
    return failWith;
}
HRESULT RecordingDevice::SetTexture(DWORD stage, Direct3DTexture8* value) {
    calls.push_back(Join("SetTexture", {stage, value != nullptr}));
    texture = value;
    return failWith;
}
HRESULT RecordingDevice::SetMaterial(const D3DMATERIAL8& value) {
    calls.push_back("SetMaterial");
    material = value;
    return failWith;
}
HRESULT RecordingDevice::SetLight(DWORD index, const D3DLIGHT8& light) {
    calls.push_back(Join("SetLight", {index, light.Type}));
    lights[index] = light;
    return failWith;
}
HRESULT RecordingDevice::LightEnable(DWORD index, BOOL enable) {
    calls.push_back(Join("LightEnable", {index, enable}));
    lightEnabled[index] = enable;
    return failWith;
}
HRESULT RecordingDevice::Clear(DWORD count, const D3DRECT*, DWORD flags, D3DCOLOR color, float, DWORD) {
    calls.push_back(Join("Clear", {count, flags, color}));
    return failWith;
}
HRESULT RecordingDevice::BeginScene() {
    calls.push_back("BeginScene");
    return failWith;
}
HRESULT RecordingDevice::EndScene() {
    calls.push_back("EndScene");
    return failWith;
}
HRESULT RecordingDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride) {
    calls.push_back(Join("DrawPrimitiveUP", {type, count, stride}));
    size_t vertexCount = 0;
    switch (type) {
        case D3DPT_POINTLIST: vertexCount = count; break;
        case D3DPT_LINELIST: vertexCount = 2 * size_t{count}; break;
        case D3DPT_LINESTRIP: vertexCount = count + size_t{1}; break;
        case D3DPT_TRIANGLELIST: vertexCount = 3 * size_t{count}; break;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: vertexCount = count + size_t{2}; break;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    drawnVertices.emplace_back(bytes, bytes + (data ? vertexCount * stride : 0));
    drawnStrides.push_back(stride);
    return failWith;
}
HRESULT RecordingDevice::Present(const RECT*, const RECT*, void*, const void*) {
    calls.push_back("Present");
    ++presents;
    if (listener_) listener_->OnPresent(nullptr, 1024, 768);
    return failWith;
}
HRESULT RecordingDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) const {
    auto it = renderStates.find(state);
    *value = it == renderStates.end() ? 0 : it->second;
    return D3D_OK;
}
HRESULT RecordingDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) const {
    auto it = stageStates_.find({stage, type});
    *value = it == stageStates_.end() ? 0 : it->second;
    return D3D_OK;
}
HRESULT RecordingDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) const {
    auto it = transforms.find(state);
    if (it == transforms.end()) {
        *matrix = D3DMATRIX{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    } else {
        *matrix = it->second;
    }
    return D3D_OK;
}
HRESULT RecordingDevice::GetTexture(DWORD, Direct3DTexture8** value) const {
    *value = texture;
    return D3D_OK;
}
HRESULT RecordingDevice::GetVertexShader(DWORD* value) const {
    *value = fvf;
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
std::vector<std::string> RecordingDevice::CallsStartingWith(const std::string& prefix) const {
    std::vector<std::string> result;
    for (const auto& c : calls) {
        if (c.rfind(prefix, 0) == 0) result.push_back(c);
    }
    return result;
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
