#include <fontconfig/fontconfig.h>

#include "base/Errors.h"
#include "platform/font/Font.h"

FaceFile FindFaceFile(const std::string& faceName, bool bold, bool italic) {
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (config == nullptr) throw DemoError("fontconfig could not load its configuration");
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(faceName.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);

    FaceFile found;
    FcChar8* file = nullptr;
    const bool ok = match != nullptr && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch;
    if (ok) {
        int weight = FC_WEIGHT_REGULAR;
        int slant = FC_SLANT_ROMAN;
        found.file = reinterpret_cast<const char*>(file);
        FcPatternGetInteger(match, FC_INDEX, 0, &found.index);
        FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(match, FC_SLANT, 0, &slant);
        found.bold = weight >= FC_WEIGHT_DEMIBOLD;
        found.italic = slant != FC_SLANT_ROMAN;
    }
    if (match != nullptr) FcPatternDestroy(match);
    FcConfigDestroy(config);
    if (!ok) throw DemoError("fontconfig found no font for the face \"" + faceName + "\"");
    return found;
}
