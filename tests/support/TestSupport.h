// Shared test doubles and helpers: a device that records the calls made on it,
// a clock the test sets by hand, a temporary folder, files and shell commands.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <ostream>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "platform/device/Device.h"
#include "platform/system/Clock.h"

// The message of the E that `action` throws; "(no error)" when it throws none.
template <class E = std::exception, class Action>
std::string ErrorMessage(Action&& action) {
    try {
        action();
    } catch (const E& e) {
        return e.what();
    }
    return "(no error)";
}

// Expects `p` within `tolerance` of (x, y, z).
inline void ExpectPoint(const D3DVECTOR& p, float x, float y, float z, float tolerance = 1e-5f) {
    EXPECT_NEAR(p.x, x, tolerance);
    EXPECT_NEAR(p.y, y, tolerance);
    EXPECT_NEAR(p.z, z, tolerance);
}

// One call made on a RecordingDevice: the method, the state (render or stage
// state, transform, light, subset, primitive type or clear flags) and value it
// was given, and how many DrawPrimitiveUP calls came before it.
struct DeviceCall {
    std::string call;
    long long state = -1;
    long long value = -1;
    DWORD stage = 0;  // the texture stage of SetTextureStageState and SetTexture
    int draw = 0;
    // The draw index is where the call happened, not what it was.
    bool operator==(const DeviceCall& o) const {
        return call == o.call && state == o.state && value == o.value && stage == o.stage;
    }
};
void PrintTo(const DeviceCall& c, std::ostream* out);

// Records every call as a DeviceCall and keeps the state so that Get* answer
// like a device.
class RecordingDevice final : public Direct3DDevice8 {
public:
    std::vector<DeviceCall> calls;
    std::map<DWORD, DWORD> renderStates;
    std::map<DWORD, D3DMATRIX> transforms;
    std::map<DWORD, D3DLIGHT8> lights;
    std::map<DWORD, BOOL> lightEnabled;
    Direct3DTexture8* texture = nullptr;
    DWORD fvf = 0;
    int presents = 0;
    // The stride and vertex bytes of every DrawPrimitiveUP, in order.
    std::vector<std::pair<UINT, std::vector<uint8_t>>> drawn;
    HRESULT failWith = D3D_OK;  // when set, every call fails with it

    // Records one call; answers failWith.
    HRESULT Record(DeviceCall call);

    HRESULT SetVertexShader(DWORD v) override { fvf = v; return Record({"SetVertexShader", -1, v}); }
    HRESULT SetRenderState(D3DRENDERSTATETYPE s, DWORD v) override {
        renderStates[s] = v; return Record({"SetRenderState", s, v});
    }
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD v) override {
        stageStates_[{stage, type}] = v; return Record({"SetTextureStageState", type, v, stage});
    }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE s, const D3DMATRIX& m) override {
        transforms[s] = m; return Record({"SetTransform", s});
    }
    HRESULT SetTexture(DWORD stage, Direct3DTexture8* t) override {
        texture = t; return Record({"SetTexture", -1, t != nullptr, stage});
    }
    HRESULT SetMaterial(const D3DMATERIAL8&) override { return Record({"SetMaterial"}); }
    HRESULT SetLight(DWORD i, const D3DLIGHT8& l) override { lights[i] = l; return Record({"SetLight", i, l.Type}); }
    HRESULT LightEnable(DWORD i, BOOL on) override { lightEnabled[i] = on; return Record({"LightEnable", i, on}); }
    HRESULT Clear(DWORD count, const D3DRECT*, DWORD flags, D3DCOLOR color, float, DWORD) override {
        return Record({"Clear", flags, color, count});
    }
    HRESULT BeginScene() override { return Record({"BeginScene"}); }
    HRESULT EndScene() override { return Record({"EndScene"}); }
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                            UINT stride) override;
    HRESULT Present(const RECT*, const RECT*, void*, const void*) override {
        const HRESULT result = Record({"Present"});
        ++presents;
        if (listener_) listener_->OnPresent(nullptr, 1024, 768);
        return result;
    }
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) const override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) const override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) const override;
    HRESULT GetTexture(DWORD, Direct3DTexture8** t) const override { *t = texture; return D3D_OK; }
    HRESULT GetVertexShader(DWORD* v) const override { *v = fvf; return D3D_OK; }
    uint32_t BackBufferWidth() const override { return 1024; }
    uint32_t BackBufferHeight() const override { return 768; }
    HRESULT CreateTexture(const TextureImage& image, D3DPOOL pool,
                          std::shared_ptr<Direct3DTexture8>& texture) override;
    HRESULT CreateMesh(const MeshGeometry& geometry, std::shared_ptr<D3DXMesh>& mesh) override;
    void SetPresentListener(PresentListener* listener) override { listener_ = listener; }

    // The recorded calls of method `call`.
    std::vector<DeviceCall> CallsTo(const std::string& call) const;

    // The vertices of DrawPrimitiveUP number `draw` (-1: the last), read as
    // records of type V; empty when the stride is not V's size.
    template <class V>
    std::vector<V> VerticesAs(int draw = -1) const {
        if (drawn.empty()) return {};
        const auto& [stride, bytes] = drawn.at(draw < 0 ? drawn.size() - 1 : static_cast<size_t>(draw));
        std::vector<V> out(stride == sizeof(V) ? bytes.size() / sizeof(V) : 0);
        for (size_t k = 0; k < out.size(); ++k) std::memcpy(&out[k], bytes.data() + k * sizeof(V), sizeof(V));
        return out;
    }

private:
    std::map<std::pair<DWORD, DWORD>, DWORD> stageStates_;
    PresentListener* listener_ = nullptr;
};

// Puts every demo global back as the program starts: devices, fonts and
// textures released, tables emptied, platform pointers cleared, counters zero.
void ResetDemoGlobals();

// Makes a new RecordingDevice the demo's D3DDevice, which owns it; returns it.
RecordingDevice* InstallRecordingDevice();

// How long the demo's four steps last.
inline constexpr int32_t kDemoStepMilliseconds[4] = {83000, 19500, 40400, 7300};

// The timeline's four steps with the demo's durations and nothing to draw,
// step 0 current and started at `startTick`, the demo running, the camera held.
void InstallDemoSteps(int32_t startTick);

// A clock whose tick count and counter the test sets.
class ManualClock final : public Clock {
public:
    int32_t tick = 0;
    int64_t counter = 0;
    int32_t TickCount() override { return tick; }
    int64_t PerformanceCounter() override { return counter; }
    int64_t PerformanceFrequency() override { return 1000; }
};

// An opaque white texture of one level made on `device`; throws when the device refuses.
std::shared_ptr<Direct3DTexture8> WhiteTexture(Direct3DDevice8& device, uint32_t width, uint32_t height);

class Window;

// What the loading screen draws with, set up on `device` for the lifetime of
// the object: an off-screen 1024 x 768 window as frmMain, the sprite, white and
// logo textures and the small font; all of them are reset afterwards.
class LoadingScreenStage {
public:
    explicit LoadingScreenStage(Direct3DDevice8& device);
    ~LoadingScreenStage();
    LoadingScreenStage(const LoadingScreenStage&) = delete;
    LoadingScreenStage& operator=(const LoadingScreenStage&) = delete;

private:
    std::unique_ptr<Window> window_;
};

// The whole file at `path`; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// `text` in single quotes for a POSIX shell.
std::string ShellQuote(const std::string& text);

// Runs `command` in a shell; its exit status (-1 when it did not exit) and
// standard output.
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult RunCommand(const std::string& command);

// Runs the demo's program (in test programs that know where it is) off screen
// with the dummy sound driver: `arguments` are shell words, redirections
// included; `prefix` goes before the program: environment assignments, which
// win, or a wrapper such as timeout.
CommandResult RunProgram(const std::string& arguments, const std::string& prefix = "");

// Seconds from the start of `file`'s first audio stream, decoded to mono 8 kHz,
// to its first sample above -78 dBFS (the music fades in slowly: only a level
// near silence finds the same place in the music file and in a capture);
// negative when there is none.
double FirstSound(const std::filesystem::path& file);

// A fresh folder under the system's temporary folder, removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    // Writes `contents` to `relative` (folders created as needed); returns the full path.
    std::filesystem::path Write(const std::string& relative, const std::string& contents) const;

private:
    std::filesystem::path path_;
};
