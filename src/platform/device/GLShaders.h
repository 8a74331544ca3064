// The GLSL 3.30 programs of the fixed-function emulation: one vertex and one
// fragment shader whose behaviour is chosen by uniforms, compiled once when the
// device is created.
#pragma once

// Attribute locations shared by the shaders and the vertex array set-up.
enum VertexAttribute : unsigned {
    kAttribPosition = 0,
    kAttribNormal = 1,
    kAttribDiffuse = 2,
    kAttribSpecular = 3,
    kAttribTex0 = 4,
    kAttribTex1 = 5,
    kAttribPointSize = 6,
};

// Bits of the uFvf uniform: which components the current vertices carry.
enum ShaderVertexFlags : int {
    kVertexPretransformed = 1,
    kVertexNormal = 2,
    kVertexDiffuse = 4,
    kVertexSpecular = 8,
    kVertexPointSize = 16,
};

// uFogMode values.
enum ShaderFogMode : int {
    kFogOff = 0,
    kFogFromSpecularAlpha = 1,
    kFogExp = 2,
    kFogExp2 = 3,
    kFogLinear = 4,
};

// Texture stages the shader evaluates; later stages are kept as state only.
constexpr int kShaderStages = 2;
constexpr int kShaderLights = 8;

extern const char* const kFixedFunctionVertexShader;
extern const char* const kFixedFunctionFragmentShader;
