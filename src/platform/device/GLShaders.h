// The GLSL 3.30 programs of the fixed-function emulation: one vertex and one
// fragment shader whose behaviour is chosen by uniforms. The same sources are
// also compiled with the states that choose the behaviour fixed as constants
// (a variant), which the compiler folds away: a software rasteriser then runs
// only the arithmetic the state needs for every pixel. All programs are
// compiled when the device is created.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/device/D3D8Types.h"

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

// The states a variant fixes; every other state stays a uniform.
struct ShaderVariant {
    int32_t fvf = 0;         // ShaderVertexFlags
    int32_t lighting = 0;    // lighting on
    int32_t fogMode = 0;     // ShaderFogMode
    int32_t pointScale = 0;  // point scaling on
    int32_t pointSprite = 0;
    int32_t specularAdd = 0;
    int32_t alphaFunc = D3DCMP_ALWAYS;  // the alpha test's comparison
    int32_t stageCount = 0;  // texture stages evaluated
    // Per evaluated stage: colour op, arg 1, arg 2, coordinate set; alpha op,
    // arg 1, arg 2, 0. Stages past stageCount are all zero.
    std::array<std::array<int32_t, 4>, kShaderStages> colour{}, alpha{};
    bool operator==(const ShaderVariant&) const = default;
};

// Every uniform the device sets: the member of ShaderUniforms that holds its
// location and the GLSL name it is looked up by. A new uniform is one row.
#define VELMORA_SHADER_UNIFORMS(X) \
    X(worldView, "uWorldView") \
    X(proj, "uProj") \
    X(normalMatrix, "uNormalMatrix") \
    X(fvf, "uFvf") \
    X(lightFlags, "uLightFlags") \
    X(materialSource, "uMaterialSource") \
    X(material, "uMaterial") \
    X(materialPower, "uMaterialPower") \
    X(globalAmbient, "uGlobalAmbient") \
    X(lightCount, "uLightCount") \
    X(lightDiffuse, "uLightDiffuse") \
    X(lightSpecular, "uLightSpecular") \
    X(lightAmbient, "uLightAmbient") \
    X(lightPosition, "uLightPosition") \
    X(lightDirection, "uLightDirection") \
    X(lightAttenuation, "uLightAttenuation") \
    X(lightSpot, "uLightSpot") \
    X(fogMode, "uFogMode") \
    X(fogParams, "uFogParams") \
    X(point, "uPoint") \
    X(pointScale, "uPointScale") \
    X(screen, "uScreen") \
    X(picture, "uPicture") \
    X(stageCount, "uStageCount") \
    X(stageColour, "uStageColour") \
    X(stageAlpha, "uStageAlpha") \
    X(textureFactor, "uTextureFactor") \
    X(pointSprite, "uPointSprite") \
    X(alphaTest, "uAlphaTest") \
    X(fogColour, "uFogColour") \
    X(specularAdd, "uSpecularAdd") \
    X(texture0, "uTexture0") \
    X(texture1, "uTexture1")

// Where one program keeps each uniform (-1: compiled away).
struct ShaderUniforms {
#define VELMORA_UNIFORM_MEMBER(member, name) int member = -1;
    VELMORA_SHADER_UNIFORMS(VELMORA_UNIFORM_MEMBER)
#undef VELMORA_UNIFORM_MEMBER
};

// Each member of ShaderUniforms with the GLSL name it is looked up by.
struct ShaderUniformName {
    int ShaderUniforms::*member;
    const char* name;
};
extern const std::vector<ShaderUniformName> kShaderUniformNames;

extern const char* const kFixedFunctionVertexShader;
extern const char* const kFixedFunctionFragmentShader;

// The variants compiled beside the general program when a device is made:
// the fixed-function set-ups of the demo's meshes, fountain, sprites and text.
// Any other set-up draws with the general program.
extern const std::vector<ShaderVariant> kPrecompiledVariants;

// `body` (one of the two above) preceded by the dialect's version line, the device's
// constants (D3DCMP_*, D3DTOP_*, D3DTA_*, kVertex*, kFog*, ...) as macros, and
// the definitions that make it the general program (null) or `variant`.
std::string ShaderSource(const char* body, const ShaderVariant* variant);
