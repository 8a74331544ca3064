// Procedural textures of the pack, encoded on first use and kept by file name.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "Image.h"

namespace content {

// Renders the texture named `name` (its extension is ignored); throws for an
// unknown name.
Image RenderTexture(const std::string& name);

// Names of every texture RenderTexture knows, without extension.
std::vector<std::string> TextureNames();

// Encoded files by name ("brick.jpg", "roof.dds"): the extension picks the
// format. Each texture is made once however many meshes use it.
class TextureLibrary {
public:
    const std::string& Get(const std::string& fileName);

private:
    std::map<std::string, std::string> files_;
};

// Encodes `image` in the format its file name asks for.
std::string Encode(const std::string& fileName, const Image& image);

}  // namespace content
