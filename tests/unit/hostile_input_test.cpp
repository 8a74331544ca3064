// Inputs that once crashed or hung: each case replays the input and checks
// the clear error.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>

#include "base/Errors.h"
#include "platform/files/Files.h"
#include "platform/texture/TextureLoader.h"
#include "platform/xfile/XFile.h"
#include "support/Bytes.h"
#include "support/TestSupport.h"

namespace {

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
    EXPECT_EQ(ErrorMessage<ContentError>([&] { DecodeImage(found, "found.jpg"); }), "found.jpg: JPEG data is truncated");

    // A complete table segment that claims 512 codes, ahead of a real image's tables.
    std::string table = "\xFF\xC4" + std::string("\x02\x13", 2) + std::string(1, '\0') + std::string(16, '\x20');
    table += std::string(512, '\x01');
    const std::string jpeg = Jpeg(16, 16);
    const std::string hostile = jpeg.substr(0, 2) + table + jpeg.substr(2);
    EXPECT_EQ(ErrorMessage<ContentError>([&] { DecodeImage(hostile, "codes.jpg"); }),
              "codes.jpg: JPEG Huffman table at byte 6 has 512 codes (at most 256)");

    // A scan naming an AC table the file never defined: the reader would
    // decode with a table it never filled (found by the texture fuzz target).
    std::string undefined = jpeg;
    const size_t scan = undefined.find("\xFF\xDA");
    ASSERT_NE(scan, std::string::npos);
    undefined[scan + 6] = '\x02';
    EXPECT_EQ(ErrorMessage<ContentError>([&] { DecodeImage(undefined, "tables.jpg"); }),
              "tables.jpg: JPEG scan at byte " + std::to_string(scan) + " uses a Huffman table the file does not define");
    EXPECT_NO_THROW(DecodeImage(jpeg, "intact.jpg"));
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
    EXPECT_NE(ErrorMessage<ContentError>([&] { ReadWholeFile(dir.path().string()); }).find("is a folder"), std::string::npos);
    const std::string fifo = (dir.path() / "pipe.x").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Opening a pipe with no writer would block for ever.
    EXPECT_EQ(ErrorMessage<ContentError>([&] { ReadWholeFile(fifo); }), fifo + ": is not a regular file");
}

}  // namespace
