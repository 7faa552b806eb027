// PNG writing and reading: exact round trips, the RGB/RGBA choice, and clear
// refusals of bad paths and malformed files that leave the picture alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/Files.h"
#include "tools/PngImage.h"

namespace {

using vxtest::TempPath;

std::vector<unsigned char> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

PngImage randomPicture(int w, int h, bool withAlpha, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  PngImage p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const auto a = static_cast<std::uint8_t>(withAlpha ? byte(rng) : 255);
      p.setPixel(x, y,
                 {static_cast<std::uint8_t>(byte(rng)), static_cast<std::uint8_t>(byte(rng)),
                  static_cast<std::uint8_t>(byte(rng)), a});
    }
  return p;
}

// PNG colour type, byte 25 of the file (signature 8, IHDR length and name 8,
// width 4, height 4, bit depth 1): 2 = RGB, 6 = RGBA.
int colourType(const std::string& path) {
  const std::vector<unsigned char> bytes = fileBytes(path);
  return bytes.size() > 25 ? bytes[25] : -1;
}

}  // namespace

TEST(RenderPngImage, RoundTripIsExactWithAndWithoutAlpha) {
  for (bool alpha : {true, false}) {
    // Odd sizes catch row-stride mistakes; 1 x 1 and a single row are edges.
    for (auto [w, h] : {std::pair{37, 23}, std::pair{1, 1}, std::pair{64, 1}}) {
      const PngImage original = randomPicture(w, h, alpha, 1234u + w);
      const std::string path = TempPath("png_roundtrip.png");
      std::string error;
      ASSERT_TRUE(original.writeFile(path, error)) << error;
      EXPECT_EQ(colourType(path), alpha ? 6 : 2);
      PngImage back;
      ASSERT_TRUE(back.readFile(path, error)) << error;
      EXPECT_EQ(back.width(), w);
      EXPECT_EQ(back.height(), h);
      EXPECT_TRUE(back.bytes() == original.bytes()) << w << " x " << h << (alpha ? " RGBA" : " RGB");
      std::remove(path.c_str());
    }
  }
}

// Failed writes name the path and keep an earlier file; malformed files are
// refused with their path named, and the picture read into is kept.
TEST(RenderPngImage, FailedWritesAndReadsKeepFileAndPicture) {
  std::string error;
  const PngImage picture(8, 8, {1, 2, 3, 255});
  const std::string missingDir = TempPath("png_no_such_dir") + "/out.png";
  EXPECT_FALSE(picture.writeFile(missingDir, error));
  EXPECT_NE(error.find(missingDir), std::string::npos) << error;
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;

  // A failed write (here: nothing to write) leaves the earlier file as it was.
  const std::string path = TempPath("png_keep.png");
  ASSERT_TRUE(picture.writeFile(path, error)) << error;
  const std::vector<unsigned char> before = fileBytes(path);
  EXPECT_FALSE(PngImage().writeFile(path, error));
  EXPECT_NE(error.find("empty"), std::string::npos) << error;
  EXPECT_EQ(fileBytes(path), before);
  EXPECT_TRUE(fileBytes(path + ".partial").empty()) << "temporary file left behind";
  std::remove(path.c_str());

  const PngImage keep(3, 2, {9, 8, 7, 255});
  const std::string good = TempPath("png_good.png");
  ASSERT_TRUE(randomPicture(50, 40, true, 7u).writeFile(good, error)) << error;
  const std::vector<unsigned char> bytes = fileBytes(good);
  // Truncated image data, a text file, an empty file, a missing file (no bytes written).
  const std::vector<unsigned char> half(bytes.begin(), bytes.begin() + bytes.size() / 2), text = {'h', 'i', '\n'}, none;
  for (const auto& [name, content] : {std::pair("png_truncated.png", &half),
                                      {"png_text.png", &text},
                                      {"png_empty.png", &none},
                                      {"png_missing.png", nullptr}}) {
    const std::string path = TempPath(name);
    if (content) writeBytes(path, *content);
    PngImage p = keep;
    error.clear();
    EXPECT_FALSE(p.readFile(path, error)) << path;
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_TRUE(p.bytes() == keep.bytes()) << "picture changed by a failed read of " << path;
    std::remove(path.c_str());
  }
  std::remove(good.c_str());
}

// A valid signature and header claiming 100000 x 100000 RGBA pixels (40 GB),
// then an empty image data chunk.
TEST(RenderPngImage, HugeDeclaredSizeIsRefusedBeforeAllocating) {
  PngImage p;
  std::string error;
  EXPECT_FALSE(p.readFile(VX_TEST_DATA_DIR "/image/huge-declared-size.png", error));
  EXPECT_NE(error.find("too large"), std::string::npos) << error;
  EXPECT_TRUE(p.isEmpty());
}
