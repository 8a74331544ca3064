#include "shell/ContentReload.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>

#include "common/Variables.h"
#include "loading/Loading.h"
#include "loading/m_InitMesh.h"
#include "loading/m_InitTextures.h"
#include "platform/files/Files.h"
#include "platform/watch/FileWatch.h"
#include "platform/xfile/XFile.h"
#include "timeline/m_InitSteps.h"

namespace {

std::string Normal(const std::string& path) { return std::filesystem::path(path).lexically_normal().string(); }

std::string MeshFile(const MeshListRow& row) { return Normal(ResolvePath(AppPath + "\\" + row.Folder + "\\" + row.File)); }

}  // namespace

ContentReload::ContentReload() : watch_(std::make_unique<FileWatch>(AppPath)) {
    for (size_t row = 0; row < MeshList.size(); ++row) {
        // A mesh that does not parse names no textures; it is read again when it changes.
        try {
            NoteTextures(row);
        } catch (const std::exception&) {
        }
    }
}

ContentReload::~ContentReload() = default;

void ContentReload::NoteTextures(size_t row) {
    for (auto& [file, rows] : users_) rows.erase(std::remove(rows.begin(), rows.end(), row), rows.end());
    const MeshListRow& mesh = MeshList[row];
    const std::string folder = AppPath + "\\" + mesh.Folder;
    const std::string file = MeshFile(mesh);
    for (const XMaterial& material : ParseXFile(ReadWholeFile(file), file).materials) {
        if (!material.textureFilename.empty()) {
            users_[Normal(ResolveMaterialTexture(folder, material.textureFilename))].push_back(row);
        }
    }
    if (mesh.OwnTexture != nullptr) users_[Normal(ResolvePath(OwnTexture(mesh).path))].push_back(row);
}

void ContentReload::ReloadMesh(size_t row) {
    const MeshListRow& mesh = MeshList[row];
    MeshEntry entry = ReadMesh(mesh.Folder, mesh.File);
    if (mesh.OwnTexture != nullptr) CreateTexture(OwnTexture(mesh), entry.Textures[0]);
    Meshes[mesh.Slot] = std::move(entry);
    NoteTextures(row);
}

ContentReload::Reloaded ContentReload::Reload(const std::string& file) {
    if (file == Normal(ResolvePath(AppPath + "\\cam.dat"))) {
        // Steps is rebuilt in place; a file that does not load gets the old steps back.
        const BoundedArray<Step> kept = Steps;
        const int32_t current = CurrentStep;
        try {
            InitSteps([](const std::string&) {});
        } catch (...) {
            Steps = kept;
            CurrentStep = current;
            throw;
        }
        return Reloaded::kCamera;
    }
    Reloaded reloaded = Reloaded::kNothing;
    for (const InitTextureRow& row : InitTextures) {
        if (file != Normal(ResolvePath(AppPath + row.File))) continue;
        std::shared_ptr<Direct3DTexture8> texture;
        CreateTexture(InitTexture(row), texture);
        *row.Texture = std::move(texture);
        reloaded = Reloaded::kContent;
    }
    for (size_t row = 0; row < MeshList.size(); ++row) {
        if (file != MeshFile(MeshList[row])) continue;
        ReloadMesh(row);
        reloaded = Reloaded::kContent;
    }
    const auto users = users_.find(file);
    if (users != users_.end()) {
        const std::vector<size_t> rows = users->second;
        for (size_t row : rows) ReloadMesh(row);
        if (!rows.empty()) reloaded = Reloaded::kContent;
    }
    return reloaded;
}

ContentReload::Outcome ContentReload::Poll() {
    Outcome outcome;
    for (const std::filesystem::path& path : watch_->Changed()) {
        const std::string file = Normal(path.string());
        const auto start = std::chrono::steady_clock::now();
        try {
            const Reloaded reloaded = Reload(file);
            if (reloaded == Reloaded::kNothing) continue;
            outcome.camera |= reloaded == Reloaded::kCamera;
            outcome.changed = true;
            if (errors_.erase(file) > 0) std::cerr << "velmora: " << file << " loads again" << std::endl;
            const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            char took[32];
            std::snprintf(took, sizeof took, "%.1f", ms);
            std::cerr << "velmora: reloaded " << file << " (" << took << " ms)" << std::endl;
        } catch (const std::exception& error) {
            outcome.changed = true;
            std::string message = error.what();
            std::replace_if(message.begin(), message.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
            auto& kept = errors_[file];
            if (kept != message) std::cerr << "velmora: " << message << " (the last good content stays)" << std::endl;
            kept = message;
        }
    }
    return outcome;
}

std::string ContentReload::Errors() const {
    std::string text;
    for (const auto& [file, message] : errors_) text += (text.empty() ? "" : "\n") + message;
    return text;
}
