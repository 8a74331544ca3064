// In the browser there is no font configuration to ask: every face name
// resolves to the DejaVu Sans faces shipped with the site, the face
// fontconfig substitutes for the demo's on a Debian desktop.
#include "platform/files/Files.h"
#include "platform/font/Font.h"

FaceFile FindFaceFile(const std::string&, bool bold, bool) {
    FaceFile face;
    face.file = bold ? "/fonts/DejaVuSans-Bold.ttf" : "/fonts/DejaVuSans.ttf";
    face.bold = bold;
    // FreeType opens the file itself: have it arrive first.
    ReadWholeFile(face.file);
    return face;
}
