#include "platform/device/GLShaders.h"

#include <string>

#include "platform/device/GLApi.h"

const char* const kFixedFunctionVertexShader = R"GLSL(
layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aDiffuse;
layout(location = 3) in vec4 aSpecular;
layout(location = 4) in vec4 aTex0;
layout(location = 5) in vec4 aTex1;
layout(location = 6) in float aPointSize;

uniform mat4 uWorldView;       // row-vector matrices uploaded as they are: M^T * v == v * M
uniform mat4 uProj;
uniform mat3 uNormalMatrix;
uniform int uFvf;
uniform ivec4 uLightFlags;     // lighting, normalize normals, local viewer, specular enable
uniform ivec4 uMaterialSource; // diffuse, specular, ambient, emissive: D3DMCS_*
uniform vec4 uMaterial[4];     // diffuse, ambient, specular, emissive
uniform float uMaterialPower;
uniform vec3 uGlobalAmbient;
uniform int uLightCount;
uniform vec4 uLightDiffuse[kShaderLights];
uniform vec4 uLightSpecular[kShaderLights];
uniform vec4 uLightAmbient[kShaderLights];
uniform vec4 uLightPosition[kShaderLights];    // camera space; w = light type
uniform vec4 uLightDirection[kShaderLights];   // camera space, unit length; w = range
uniform vec4 uLightAttenuation[kShaderLights]; // a0, a1, a2, falloff
uniform vec2 uLightSpot[kShaderLights];        // cos(theta / 2), cos(phi / 2)
uniform int uFogMode;
uniform vec4 uFogParams;           // start, end, density, range fog
uniform vec4 uPoint;               // size, min, max, scale enable
uniform vec3 uPointScale;          // A, B, C
uniform vec4 uScreen;              // width, height, pretransformed z enable, zero-to-one clip depth
uniform vec3 uPicture;             // the picture's width and height in output pixels, largest point size

out vec4 vDiffuse;
out vec4 vSpecular;
out vec2 vTex0;
out vec2 vTex1;
out float vFog;

const float kMaxFloat = 3.402823e38;

vec4 pickColour(int source, vec4 materialColour, vec4 c1, vec4 c2) {
    if (source == D3DMCS_COLOR1 && (FVF & kVertexDiffuse) != 0) return c1;
    if (source == D3DMCS_COLOR2 && (FVF & kVertexSpecular) != 0) return c2;
    return materialColour;
}

void main() {
    bool pretransformed = (FVF & kVertexPretransformed) != 0;
    vec4 c1 = (FVF & kVertexDiffuse) != 0 ? VERTEX_COLOUR(aDiffuse) : vec4(1.0);
    vec4 c2 = (FVF & kVertexSpecular) != 0 ? VERTEX_COLOUR(aSpecular) : vec4(0.0);
    vec3 P = vec3(0.0);
    vec4 clip;
    if (pretransformed) {
        float w = aPosition.w != 0.0 ? 1.0 / aPosition.w : 1.0;
        // Rows are stored top first, so screen y maps to NDC y without a flip.
        vec3 ndc = vec3(2.0 * aPosition.x / uScreen.x - 1.0, 2.0 * aPosition.y / uScreen.y - 1.0,
                        uScreen.z != 0.0 ? aPosition.z : 0.0);
        // On a picture drawn larger than the screen, a screen pixel's edges
        // land on the edges of the block of output pixels it becomes.
        ndc.xy += (uPicture.xy / uScreen.xy - 1.0) / uPicture.xy;
        if (uScreen.w == 0.0) ndc.z = 2.0 * ndc.z - 1.0;
        clip = vec4(ndc * w, w);
    } else {
        vec4 Pe = uWorldView * vec4(aPosition.xyz, 1.0);
        P = Pe.xyz;
        clip = uProj * Pe;
        if (uScreen.w == 0.0) clip.z = 2.0 * clip.z - clip.w;
        clip.y = -clip.y;
    }
    // Direct3D samples pixels at integer coordinates, GL at half-integers: move
    // everything 63/128 output pixel right and down so edges and texels land alike.
    clip.xy += vec2(63.0 / 64.0 / uPicture.x, 63.0 / 64.0 / uPicture.y) * clip.w;
    gl_Position = clip;

    if (LIGHTING != 0 && !pretransformed) {
        vec3 N = (FVF & kVertexNormal) != 0 ? uNormalMatrix * aNormal : vec3(0.0);
        if (uLightFlags.y != 0 && dot(N, N) > 0.0) N = normalize(N);
        vec4 Md = pickColour(uMaterialSource.x, uMaterial[0], c1, c2);
        vec4 Ms = pickColour(uMaterialSource.y, uMaterial[2], c1, c2);
        vec4 Ma = pickColour(uMaterialSource.z, uMaterial[1], c1, c2);
        vec4 Me = pickColour(uMaterialSource.w, uMaterial[3], c1, c2);
        vec3 ambient = vec3(0.0), diffuse = vec3(0.0), specular = vec3(0.0);
        for (int i = 0; i < uLightCount; ++i) {
            int type = int(uLightPosition[i].w);
            vec3 L;
            float att = 1.0;
            if (type == D3DLIGHT_DIRECTIONAL) {
                L = -uLightDirection[i].xyz;
            } else {
                vec3 toLight = uLightPosition[i].xyz - P;
                float d = length(toLight);
                if (d > uLightDirection[i].w) continue;
                L = d > 0.0 ? toLight / d : vec3(0.0);
                vec3 a = uLightAttenuation[i].xyz;
                float sum = a.x + a.y * d + a.z * d * d;
                att = sum > 0.0 ? min(1.0 / sum, kMaxFloat) : kMaxFloat;
                if (type == D3DLIGHT_SPOT) {
                    float rho = dot(-L, uLightDirection[i].xyz);
                    float cosTheta = uLightSpot[i].x, cosPhi = uLightSpot[i].y;
                    float spot = rho > cosTheta ? 1.0
                               : rho <= cosPhi ? 0.0
                               : pow((rho - cosPhi) / (cosTheta - cosPhi), uLightAttenuation[i].w);
                    att *= spot;
                }
            }
            float NdotL = dot(N, L);
            ambient += uLightAmbient[i].rgb * att;
            diffuse += uLightDiffuse[i].rgb * clamp(NdotL, 0.0, 1.0) * att;
            if (uLightFlags.w != 0 && NdotL > 0.0) {
                vec3 V = uLightFlags.z != 0 ? normalize(-P) : vec3(0.0, 0.0, -1.0);
                float NdotH = clamp(dot(N, normalize(L + V)), 0.0, 1.0);
                if (NdotH > 0.0) specular += uLightSpecular[i].rgb * pow(NdotH, uMaterialPower) * att;
            }
        }
        vec3 lit = Me.rgb + Ma.rgb * (uGlobalAmbient + ambient) + Md.rgb * diffuse;
        vDiffuse = clamp(vec4(lit, Md.a), 0.0, 1.0);
        vSpecular = clamp(vec4(Ms.rgb * specular, c2.a), 0.0, 1.0);
    } else {
        vDiffuse = c1;
        vSpecular = c2;
    }

    if (FOG_MODE == kFogOff) {
        vFog = 1.0;
    } else if (pretransformed || FOG_MODE == kFogFromSpecularAlpha) {
        vFog = (FVF & kVertexSpecular) != 0 ? aSpecular.a : 1.0;
    } else {
        float d = uFogParams.w != 0.0 ? length(P) : abs(P.z);
        float f;
        if (FOG_MODE == kFogLinear) {
            float span = uFogParams.y - uFogParams.x;
            f = span != 0.0 ? (uFogParams.y - d) / span : (d < uFogParams.y ? 1.0 : 0.0);
        } else if (FOG_MODE == kFogExp) {
            f = exp(-d * uFogParams.z);
        } else {
            f = exp(-(d * uFogParams.z) * (d * uFogParams.z));
        }
        vFog = clamp(f, 0.0, 1.0);
    }

    float size = (FVF & kVertexPointSize) != 0 ? aPointSize : uPoint.x;
    if (POINT_SCALE != 0 && !pretransformed) {
        float De = length(P);
        float q = uPointScale.x + uPointScale.y * De + uPointScale.z * De * De;
        size = q > 0.0 ? uScreen.y * size * sqrt(1.0 / q) : uPoint.z;
    }
    // Sizes are in pixels of the screen's frame; the picture may be drawn larger.
    gl_PointSize = min(clamp(size, uPoint.y, uPoint.z) * (uPicture.y / uScreen.y), uPicture.z);

    vTex0 = aTex0.xy;
    vTex1 = aTex1.xy;
}
)GLSL";

const char* const kFixedFunctionFragmentShader = R"GLSL(
in vec4 vDiffuse;
in vec4 vSpecular;
in vec2 vTex0;
in vec2 vTex1;
in float vFog;

uniform sampler2D uTexture0;
uniform sampler2D uTexture1;
uniform int uStageCount;
uniform ivec4 uStageColour[kShaderStages];  // colour op, arg 1, arg 2, texture coordinate set
uniform ivec4 uStageAlpha[kShaderStages];   // alpha op, arg 1, arg 2, unused
uniform vec4 uTextureFactor;
uniform int uPointSprite;
uniform ivec2 uAlphaTest;       // compare function, reference 0..255
uniform int uFogMode;
uniform vec3 uFogColour;
uniform int uSpecularAdd;

out vec4 fragColour;

vec4 argument(int arg, vec4 current, vec4 tex) {
    int which = arg & D3DTA_SELECTMASK;
    vec4 v = which == D3DTA_DIFFUSE ? vDiffuse
           : which == D3DTA_TEXTURE ? tex
           : which == D3DTA_TFACTOR ? uTextureFactor
           : which == D3DTA_SPECULAR ? vSpecular
           : current;
    if ((arg & D3DTA_ALPHAREPLICATE) != 0) v = v.aaaa;
    if ((arg & D3DTA_COMPLEMENT) != 0) v = vec4(1.0) - v;
    return v;
}

vec4 operation(int op, vec4 a1, vec4 a2, vec4 current, vec4 tex) {
    switch (op) {
        case D3DTOP_SELECTARG1: return a1;
        case D3DTOP_SELECTARG2: return a2;
        case D3DTOP_MODULATE: return a1 * a2;
        case D3DTOP_MODULATE2X: return 2.0 * a1 * a2;
        case D3DTOP_MODULATE4X: return 4.0 * a1 * a2;
        case D3DTOP_ADD: return a1 + a2;
        case D3DTOP_ADDSIGNED: return a1 + a2 - 0.5;
        case D3DTOP_ADDSIGNED2X: return 2.0 * (a1 + a2 - 0.5);
        case D3DTOP_SUBTRACT: return a1 - a2;
        case D3DTOP_ADDSMOOTH: return a1 + a2 - a1 * a2;
        case D3DTOP_BLENDDIFFUSEALPHA: return mix(a2, a1, vDiffuse.a);
        case D3DTOP_BLENDTEXTUREALPHA: return mix(a2, a1, tex.a);
        case D3DTOP_BLENDFACTORALPHA: return mix(a2, a1, uTextureFactor.a);
        case D3DTOP_BLENDTEXTUREALPHAPM: return a1 + a2 * (1.0 - tex.a);
        case D3DTOP_BLENDCURRENTALPHA: return mix(a2, a1, current.a);
    }
    return a1 * a2;
}

bool passes(int func, int value, int reference) {
    switch (func) {
        case D3DCMP_NEVER: return false;
        case D3DCMP_LESS: return value < reference;
        case D3DCMP_EQUAL: return value == reference;
        case D3DCMP_LESSEQUAL: return value <= reference;
        case D3DCMP_GREATER: return value > reference;
        case D3DCMP_NOTEQUAL: return value != reference;
        case D3DCMP_GREATEREQUAL: return value >= reference;
    }
    return true;
}

vec4 stage(int s, vec4 current, vec4 tex) {
    vec4 colour = operation(STAGE_COLOUR[s].x, argument(STAGE_COLOUR[s].y, current, tex),
                            argument(STAGE_COLOUR[s].z, current, tex), current, tex);
    float alpha = current.a;
    if (STAGE_ALPHA[s].x != D3DTOP_DISABLE) {
        alpha = operation(STAGE_ALPHA[s].x, argument(STAGE_ALPHA[s].y, current, tex),
                          argument(STAGE_ALPHA[s].z, current, tex), current, tex).a;
    }
    return clamp(vec4(colour.rgb, alpha), 0.0, 1.0);
}

vec2 stageCoord(int s) {
    vec2 uv = POINT_SPRITE != 0 ? POINT_COORD : (STAGE_COLOUR[s].w == 1 ? vTex1 : vTex0);
    // Geometry is moved 63/128 pixel rather than 1/2 (see the vertex shader):
    // sample where a shift of exactly 1/2 puts the texture, so texels land on
    // pixels one to one.
    return uv - (dFdx(uv) + dFdy(uv)) * (1.0 / 128.0);
}

void main() {
    vec4 current = vDiffuse;
    if (STAGE_COUNT > 0) current = stage(0, current, texture(uTexture0, stageCoord(0)));
    if (STAGE_COUNT > 1) current = stage(1, current, texture(uTexture1, stageCoord(1)));
    vec3 rgb = current.rgb;
    if (SPECULAR_ADD != 0) rgb = min(rgb + vSpecular.rgb, vec3(1.0));
    if (FOG_MODE != kFogOff) rgb = mix(uFogColour, rgb, vFog);
    if (!passes(ALPHA_FUNC, int(floor(current.a * 255.0 + 0.5)), uAlphaTest.y)) discard;
    fragColour = vec4(rgb, current.a);
}
)GLSL";

namespace {

struct ShaderConstant {
    const char* name;
    int32_t value;
};

#define SHADER_CONSTANT(name) ShaderConstant{#name, static_cast<int32_t>(name)}
// The numbers the shaders compare states against, under the names the C++ uses.
constexpr ShaderConstant kShaderConstants[] = {
    SHADER_CONSTANT(kShaderStages), SHADER_CONSTANT(kShaderLights),
    SHADER_CONSTANT(kVertexPretransformed), SHADER_CONSTANT(kVertexNormal), SHADER_CONSTANT(kVertexDiffuse),
    SHADER_CONSTANT(kVertexSpecular), SHADER_CONSTANT(kVertexPointSize),
    SHADER_CONSTANT(kFogOff), SHADER_CONSTANT(kFogFromSpecularAlpha), SHADER_CONSTANT(kFogExp),
    SHADER_CONSTANT(kFogExp2), SHADER_CONSTANT(kFogLinear),
    SHADER_CONSTANT(D3DLIGHT_POINT), SHADER_CONSTANT(D3DLIGHT_SPOT), SHADER_CONSTANT(D3DLIGHT_DIRECTIONAL),
    SHADER_CONSTANT(D3DMCS_MATERIAL), SHADER_CONSTANT(D3DMCS_COLOR1), SHADER_CONSTANT(D3DMCS_COLOR2),
    SHADER_CONSTANT(D3DCMP_NEVER), SHADER_CONSTANT(D3DCMP_LESS), SHADER_CONSTANT(D3DCMP_EQUAL),
    SHADER_CONSTANT(D3DCMP_LESSEQUAL), SHADER_CONSTANT(D3DCMP_GREATER), SHADER_CONSTANT(D3DCMP_NOTEQUAL),
    SHADER_CONSTANT(D3DCMP_GREATEREQUAL), SHADER_CONSTANT(D3DCMP_ALWAYS),
    SHADER_CONSTANT(D3DTOP_DISABLE), SHADER_CONSTANT(D3DTOP_SELECTARG1), SHADER_CONSTANT(D3DTOP_SELECTARG2),
    SHADER_CONSTANT(D3DTOP_MODULATE), SHADER_CONSTANT(D3DTOP_MODULATE2X), SHADER_CONSTANT(D3DTOP_MODULATE4X),
    SHADER_CONSTANT(D3DTOP_ADD), SHADER_CONSTANT(D3DTOP_ADDSIGNED), SHADER_CONSTANT(D3DTOP_ADDSIGNED2X),
    SHADER_CONSTANT(D3DTOP_SUBTRACT), SHADER_CONSTANT(D3DTOP_ADDSMOOTH), SHADER_CONSTANT(D3DTOP_BLENDDIFFUSEALPHA),
    SHADER_CONSTANT(D3DTOP_BLENDTEXTUREALPHA), SHADER_CONSTANT(D3DTOP_BLENDFACTORALPHA),
    SHADER_CONSTANT(D3DTOP_BLENDTEXTUREALPHAPM), SHADER_CONSTANT(D3DTOP_BLENDCURRENTALPHA),
    SHADER_CONSTANT(D3DTA_SELECTMASK), SHADER_CONSTANT(D3DTA_DIFFUSE), SHADER_CONSTANT(D3DTA_CURRENT),
    SHADER_CONSTANT(D3DTA_TEXTURE), SHADER_CONSTANT(D3DTA_TFACTOR), SHADER_CONSTANT(D3DTA_SPECULAR),
    SHADER_CONSTANT(D3DTA_COMPLEMENT), SHADER_CONSTANT(D3DTA_ALPHAREPLICATE),
};
#undef SHADER_CONSTANT

}  // namespace

const std::vector<ShaderUniformName> kShaderUniformNames = {
#define VELMORA_UNIFORM_NAME(member, name) {&ShaderUniforms::member, name},
    VELMORA_SHADER_UNIFORMS(VELMORA_UNIFORM_NAME)
#undef VELMORA_UNIFORM_NAME
};

namespace {

// The dialect's first lines: GLSL 3.30 on the desktop, GLSL ES 3.00 for
// WebGL2, where vertex colours arrive in memory order (B, G, R, A) and
// gl_PointCoord starts at the top.
const char* ShaderPreamble() {
    if constexpr (kGLES) {
        return "#version 300 es\nprecision highp float;\nprecision highp int;\n"
               "#define VERTEX_COLOUR(c) (c).bgra\n#define POINT_COORD vec2(gl_PointCoord.x, 1.0 - gl_PointCoord.y)\n";
    } else {
        return "#version 330 core\n#define VERTEX_COLOUR(c) (c)\n#define POINT_COORD gl_PointCoord\n";
    }
}

}  // namespace

std::string ShaderSource(const char* body, const ShaderVariant* variant) {
    std::string source = ShaderPreamble();
    for (const ShaderConstant& constant : kShaderConstants)
        source += std::string("#define ") + constant.name + " " + std::to_string(constant.value) + "\n";
    if (variant == nullptr) {
        source +=
            "#define FVF uFvf\n#define LIGHTING uLightFlags.x\n#define FOG_MODE uFogMode\n"
            "#define POINT_SCALE int(uPoint.w)\n#define STAGE_COUNT uStageCount\n#define STAGE_COLOUR uStageColour\n"
            "#define STAGE_ALPHA uStageAlpha\n#define POINT_SPRITE uPointSprite\n#define SPECULAR_ADD uSpecularAdd\n"
            "#define ALPHA_FUNC uAlphaTest.x\n";
        return source + body;
    }
    const ShaderVariant& v = *variant;
    auto define = [&](const char* name, int32_t value) {
        source += "#define ";
        source += name;
        source += " " + std::to_string(value) + "\n";
    };
    define("FVF", v.fvf);
    define("LIGHTING", v.lighting);
    define("FOG_MODE", v.fogMode);
    define("POINT_SCALE", v.pointScale);
    define("STAGE_COUNT", v.stageCount);
    define("POINT_SPRITE", v.pointSprite);
    define("SPECULAR_ADD", v.specularAdd);
    define("ALPHA_FUNC", v.alphaFunc);
    auto stages = [&](const char* name, const std::array<std::array<int32_t, 4>, kShaderStages>& values) {
        source += "const ivec4 ";
        source += name;
        source += "[kShaderStages] = ivec4[kShaderStages](";
        for (int s = 0; s < kShaderStages; ++s) {
            const auto& x = values[static_cast<size_t>(s)];
            source += "ivec4(" + std::to_string(x[0]) + ", " + std::to_string(x[1]) + ", " + std::to_string(x[2]) +
                      ", " + std::to_string(x[3]) + ")" + (s + 1 < kShaderStages ? ", " : ");\n");
        }
    };
    stages("kStageColour", v.colour);
    stages("kStageAlpha", v.alpha);
    source += "#define STAGE_COLOUR kStageColour\n#define STAGE_ALPHA kStageAlpha\n";
    return source + body;
}

namespace {

// Stage states: colour op, arg 1, arg 2, coordinate set; alpha op, arg 1, arg 2.
constexpr std::array<int32_t, 4> kModulateTextureCurrent{D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, 0};
constexpr std::array<int32_t, 4> kModulateTextureDiffuse{D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0};
constexpr std::array<int32_t, 4> kSelectTextureAlpha{D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_CURRENT, 0};
constexpr int32_t kLitMesh = kVertexNormal;
constexpr int32_t kSprite = kVertexPretransformed | kVertexDiffuse;
// Points drawn one by one reach the shader batched, each with its size.
constexpr int32_t kParticle = kVertexDiffuse | kVertexPointSize;

}  // namespace

const std::vector<ShaderVariant> kPrecompiledVariants = {
    // Lit, fogged meshes, textured and not, blended (cut-out alpha) or opaque.
    {.fvf = kLitMesh, .lighting = 1, .fogMode = kFogLinear, .pointScale = 1, .alphaFunc = D3DCMP_GREATER,
     .stageCount = 1, .colour = {kModulateTextureCurrent, {}}, .alpha = {kSelectTextureAlpha, {}}},
    {.fvf = kLitMesh, .lighting = 1, .fogMode = kFogLinear, .pointScale = 1, .alphaFunc = D3DCMP_GREATER},
    {.fvf = kLitMesh, .lighting = 1, .fogMode = kFogLinear, .pointScale = 1, .alphaFunc = D3DCMP_ALWAYS,
     .stageCount = 1, .colour = {kModulateTextureCurrent, {}}, .alpha = {kSelectTextureAlpha, {}}},
    {.fvf = kLitMesh, .lighting = 1, .fogMode = kFogLinear, .pointScale = 1, .alphaFunc = D3DCMP_ALWAYS},
    // Sprites and text: texture times vertex colour, unlit, unfogged.
    {.fvf = kSprite, .fogMode = kFogOff, .pointScale = 1, .alphaFunc = D3DCMP_GREATER, .stageCount = 1,
     .colour = {kModulateTextureDiffuse, {}}, .alpha = {kModulateTextureDiffuse, {}}},
    // The fountain's point sprites, fogged.
    {.fvf = kParticle, .fogMode = kFogLinear, .pointScale = 1, .pointSprite = 1, .alphaFunc = D3DCMP_GREATER,
     .stageCount = 1, .colour = {kModulateTextureCurrent, {}}, .alpha = {kSelectTextureAlpha, {}}},
};
