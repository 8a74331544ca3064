// The whole content pack.
#pragma once

#include <filesystem>

namespace content {

// Writes every file of the pack under `outDir`, replacing what is there.
void GeneratePack(const std::filesystem::path& outDir);

}  // namespace content
