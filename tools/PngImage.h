#pragma once
// An RGBA picture, 8 bits a channel, stored row by row from the top-left
// corner (x to the right, y downwards), and its PNG file form (libpng).
#include <cstdint>
#include <string>
#include <vector>

class PngImage {
public:
  struct Rgba {
    std::uint8_t r, g, b, a;
    bool operator==(const Rgba& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
    bool operator!=(const Rgba& o) const { return !(*this == o); }
  };

  PngImage() = default;
  // A width x height picture filled with `fill` (default opaque black); a size
  // <= 0 gives an empty picture.
  PngImage(int width, int height, Rgba fill = Rgba{0, 0, 0, 255});

  int width() const { return width_; }
  int height() const { return height_; }
  bool isEmpty() const { return pixels_.empty(); }

  // (x, y) must lie inside the picture; row 0 is the top row.
  Rgba pixel(int x, int y) const;
  void setPixel(int x, int y, Rgba value);

  // Width * height * 4 bytes, R G B A per pixel, top row first.
  const std::vector<std::uint8_t>& bytes() const { return pixels_; }
  // Takes over `rgba`, which must hold width * height * 4 bytes (else the
  // picture is left unchanged and false is returned).
  bool assign(int width, int height, std::vector<std::uint8_t> rgba);

  // True when every alpha value is 255.
  bool isOpaque() const;

  // Writes a PNG file: RGB when the picture is opaque, else RGBA. The file is
  // written beside the target under a fresh temporary name (created
  // exclusively: see SafeOutput.h) and renamed over it only when complete, so
  // a failed write leaves any earlier file untouched. On
  // failure returns false and sets `error` to a sentence naming the path.
  bool writeFile(const std::string& path, std::string& error) const;

  // Reads any PNG file (palette, grey, 16-bit, with or without alpha) as RGBA.
  // On failure returns false, sets `error` and leaves this picture unchanged.
  bool readFile(const std::string& path, std::string& error);

private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> pixels_;
};
