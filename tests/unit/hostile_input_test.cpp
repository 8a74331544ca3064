// Inputs that once crashed, hung or were taken for good content: each case
// replays the input and checks the clear error (or the sound result).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "common/Errors.h"
#include "platform/files/Files.h"
#include "platform/music/MusicPlayer.h"
#include "platform/texture/TextureLoader.h"
#include "platform/xfile/XFile.h"
#include "support/Bytes.h"
#include "support/TestSupport.h"

namespace {

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ContentError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(HostileImages, CutOffJpegAndTgaAreErrorsNotBlackPictures) {
    // The decoder pads missing data with zeros; the scan data alone being
    // cut off (headers intact) used to load as a partly grey picture.
    const std::string jpeg = Jpeg(64, 64);
    const std::string tga = TgaHeader(2, 3, 2, 24) + std::string(18, '\x7F');
    // Run-length: a run of 4 then a literal of 2 covers a 3 x 2 image.
    const std::string rle = TgaHeader(10, 3, 2, 24) + std::string("\x83\x01\x02\x03\x01\x04\x05\x06\x07\x08\x09", 11);
    const DecodedImage decoded = DecodeImage(rle, "rle.tga");
    EXPECT_EQ(decoded.rgba[2], 1);  // blue of the run's pixel, stored BGR
    EXPECT_EQ(decoded.rgba[5 * 4], 9);
    // Bytes after the end marker are tolerated, as many writers append some.
    for (const std::string& whole : {jpeg, jpeg + "trailing", tga}) EXPECT_NO_THROW(DecodeImage(whole, "whole"));
    const std::pair<std::string, const char*> cut[] = {
        {jpeg.substr(0, jpeg.size() - 40), "cut: JPEG data is truncated"},
        {tga.substr(0, tga.size() - 1), "cut: TGA image data is truncated"},
        {rle.substr(0, rle.size() - 3), "truncated"},
        {rle.substr(0, 22), "truncated"},
    };
    for (const auto& c : cut) EXPECT_NE(ErrorOf([&] { DecodeImage(c.first, "cut"); }).find(c.second), std::string::npos);
}

std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// The system's JPEG reader fills a Huffman table's arrays with as many codes
// as the table's counts add up to, past their 257 entries when the counts
// exceed 256. Found by the texture fuzz target: a table whose segment runs
// past the end of the file, where the reader reads zeros and later counts.
TEST(HostileImages, JpegHuffmanTablesAreCheckedBeforeTheDecoderSeesThem) {
    const std::string found = FromHex(
        "ffd8ffe000104a46030202030303100d0e110e0b0b1016101113151515140c0f17181614181214151401030404050405"
        "09050509140d0b0d14141414141414141414141414141414141414141414141414141414141414141414141414141414"
        "14141414141414141414ffc00011080007000d03012200021101031101ffc401a2000001050101010101010000000000"
        "0000000102030405060708090a0b1000020103030204030516ff002cff48c720b6ec95aedbb930ffd9");
    EXPECT_EQ(ErrorOf([&] { DecodeImage(found, "found.jpg"); }), "found.jpg: JPEG data is truncated");
    // The same with fill bytes before the start marker, which the reader skips.
    const std::string filled = FromHex(
        "ffffd8ffe000104a46499d0001013232323232323232323232ffc00011080010100003012200021101031101ffc401a2"
        "0000010501fe01010101010000000000009394959697985d999aa2ffa3a4a5a6a7a8a9aab24d4b4a49b7b8b9bac2c3c8"
        "ffd9");
    EXPECT_EQ(ErrorOf([&] { DecodeImage(filled, "filled.jpg"); }), "filled.jpg: JPEG data is truncated");

    // A complete table segment that claims 512 codes, ahead of a real image's tables.
    std::string table = "\xFF\xC4" + std::string("\x02\x13", 2) + std::string(1, '\0') + std::string(16, '\x20');
    table += std::string(512, '\x01');
    const std::string jpeg = Jpeg(16, 16);
    const std::string hostile = jpeg.substr(0, 2) + table + jpeg.substr(2);
    EXPECT_EQ(ErrorOf([&] { DecodeImage(hostile, "codes.jpg"); }),
              "codes.jpg: JPEG Huffman table at byte 6 has 512 codes (at most 256)");
}

TEST(HostileMeshes, LongRunsOfTemplatesAmongChildrenDoNotExhaustTheStack) {
    std::string file = "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n";
    for (int i = 0; i < 200000; ++i) file += "template T{}";
    file += "}\n";
    const XMesh mesh = ParseXFile(file, "templates.x");
    EXPECT_EQ(mesh.geometry.vertices.size(), 3u);
}

TEST(HostileFiles, FoldersAndPipesWhereAFileBelongsAreErrors) {
    TempDir dir;
    EXPECT_NE(ErrorOf([&] { ReadWholeFile(dir.path().string()); }).find("is a folder"), std::string::npos);
    const std::string fifo = (dir.path() / "pipe.x").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Opening a pipe with no writer would block for ever.
    EXPECT_EQ(ErrorOf([&] { ReadWholeFile(fifo); }), fifo + ": is not a regular file");
}

TEST(HostileRuntime, WithoutAnAudioDeviceTheMusicIsSilentAndTheDemoGoesOn) {
    setenv("SDL_AUDIODRIVER", "velmora-no-such-driver", 1);
    testing::internal::CaptureStderr();
    std::unique_ptr<MusicPlayer> player = CreateMusicPlayer(true);
    const std::string said = testing::internal::GetCapturedStderr();
    unsetenv("SDL_AUDIODRIVER");
    ASSERT_NE(player, nullptr);
    EXPECT_NE(said.find("no audio device"), std::string::npos) << said;
    EXPECT_NE(said.find("the music is off"), std::string::npos) << said;
    player->SetFileName("/no/such/music.mp3");
    player->SetCurrentPosition(12.5);
    EXPECT_NO_THROW(player->Play());
    EXPECT_NO_THROW(player->Stop());
}

}  // namespace
