#include "shell/Main.h"

#include <chrono>

#include "common/Common.h"
#include "common/Constants.h"
#include "common/Variables.h"
#include "common/Wrappers.h"
#include "loading/Loading.h"
#include "loading/m_InitGraphicsMode.h"
#include "loading/m_InitMesh.h"
#include "loading/m_InitTextures.h"
#include "loading/m_initObjects.h"
#include "loading/m_showLoadingScreen.h"
#include "particles/UpdateParticles.h"
#include "particles/m_generateVertex.h"
#include "particles/m_initParticles.h"
#include "platform/sprite/Sprite.h"
#include "platform/window/Window.h"
#include "render/m_InitVertexFog.h"
#include "render/m_MoveCamera.h"
#include "render/r_Render.h"
#include "shell/Benchmark.h"
#include "shell/FrameLoop.h"
#include "shell/Playback.h"
#include "shell/m_Terminate.h"
#include "text/m_DrawText.h"
#include "timeline/m_InitSteps.h"
#include "timeline/m_loadStep.h"

void FillFlowerIndex() {
    for (int32_t i = 1; i <= 1; ++i) FlowerIndex[i] = i + 59;
}

void LoadEverything() {
    FillFlowerIndex();
    MakeFont(FontSmall, "verdana", "8", False16, False16, False16);
    m_InitTextures();
    m_showLoadingScreen("Loading fonts");
    m_InitMesh();
    m_initObjects();
    m_InitSteps();
    m_InitVertexFog();
    m_initParticles();
}

FrameRoutines DemoRoutines() {
    return FrameRoutines{m_loadStep, [] { frmMain->PumpMessages(); }, UpdateParticles, m_generateVertex,
                         m_MoveCamera, r_Render};
}

void frmMain_Load(const TimelineStart& start, Playback* playback) {
    frmMain->Show();
    Main(start, playback);
}

int RunDemoOn(const PlatformServices& services, const TimelineStart& start, Benchmark* benchmark,
              Playback* playback) {
    SystemClock = &services.clock;
    Rng = &services.random;
    mp3 = &services.music;
    frmMain = &services.window;
    try {
        if (benchmark != nullptr) {
            frmMain->Show();
            RunMain(benchmark->Wrap(DemoRoutines()), start);
        } else {
            frmMain_Load(start, playback);
        }
    } catch (const ProcessExit& exit) {
        return exit.status;
    }
    return 0;
}

void Main(const TimelineStart& start, Playback* playback) { RunMain(DemoRoutines(), start, playback); }

void RunMain(const FrameRoutines& demoRoutines, const TimelineStart& start, Playback* playback) {
    const FrameRoutines routines = playback != nullptr ? playback->Wrap(demoRoutines) : demoRoutines;
    // Esc reaches the driver through the window's message pump; the other
    // keys of a live run go to its controls.
    if (playback != nullptr) {
        frmMain->SetKeyDownHandler([playback](int keyCode, int shift) {
            frmMain_KeyDown(keyCode, shift);
            playback->KeyDown(keyCode, shift);
        });
    } else {
        frmMain->SetKeyDownHandler(frmMain_KeyDown);
    }
    DX = std::make_unique<DirectX8>();
    D3D = DX->Direct3DCreate8();
    D3DX = std::make_unique<D3DX8>();
    PrefetchContent();
    Randomize();
    demoRunning = m_InitGraphicsMode(3, D3DFMT_D24S8, false) ? True16 : False16;
    if (demoRunning == False16) m_Terminate();
    LoadEverything();
    if (playback != nullptr) playback->Begin(routines);
    StartTimeline(start.frames == 0);
    if (start.frames > 0) {
        const auto fastForwardStart = std::chrono::steady_clock::now();
        FastForwardTimeline(routines, start.frames);
        StartMusic();
        if (start.reached) {
            start.reached(std::chrono::duration<double>(std::chrono::steady_clock::now() - fastForwardStart).count());
        }
    } else if (start.reached) {
        start.reached(0.0);
    }
    if (playback != nullptr) {
        playback->StartAt(start.frames);
        RunFrameLoop(routines, [playback] { playback->AfterFrame(); });
    } else {
        RunFrameLoop(routines);
    }
    RunEndScreen(DrawEndScreen);
    m_Terminate();
}

void frmMain_KeyDown(int keyCode, int /*shift*/) {
    if (keyCode == EscKeyCode) demoRunning = False16;
}

void DrawEndScreen() {
    Check(D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, EndScreenClearColor,
                           1.0f, 0),
          "Clear");
    Check(D3DDevice->BeginScene(), "BeginScene");
    Check(D3DDevice->SetRenderState(D3DRS_FOGENABLE, 0), "SetRenderState");
    frmMain->PumpMessages();
    const float width = static_cast<float>(frmMain->ClientWidth());
    const float height = static_cast<float>(frmMain->ClientHeight());
    const D3DVECTOR2 scaling = MakeVector2(width / 512.0f, height / 512.0f);
    const D3DVECTOR2 centre = MakeVector2(0, 0);
    const D3DVECTOR2 translation = MakeVector2(0, 0);
    Check(Sprite->Draw(TexTextEfter.get(), nullptr, &scaling, &centre, 0.0f, &translation,
                       D3DColorARGB(255, 255, 255, 255)),
          "Sprite.Draw");
    Check(D3DDevice->EndScene(), "EndScene");
    Check(D3DDevice->Present(nullptr, nullptr, nullptr, nullptr), "Present");
}
