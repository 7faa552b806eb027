#include "tools/PngImage.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/SafeOutput.h"

namespace {

// Pictures larger than this are refused on reading: a malformed header must not
// make us allocate gigabytes.
constexpr std::size_t kMaxReadBytes = std::size_t(1) << 30;

std::string quoted(const std::string& path) { return "'" + path + "'"; }

}  // namespace

PngImage::PngImage(int width, int height, Rgba fill) {
  if (width <= 0 || height <= 0) return;
  width_ = width;
  height_ = height;
  pixels_.resize(static_cast<std::size_t>(width) * height * 4);
  for (std::size_t i = 0; i < pixels_.size(); i += 4) {
    pixels_[i] = fill.r;
    pixels_[i + 1] = fill.g;
    pixels_[i + 2] = fill.b;
    pixels_[i + 3] = fill.a;
  }
}

PngImage::Rgba PngImage::pixel(int x, int y) const {
  const std::uint8_t* p = &pixels_[(static_cast<std::size_t>(y) * width_ + x) * 4];
  return Rgba{p[0], p[1], p[2], p[3]};
}

void PngImage::setPixel(int x, int y, Rgba value) {
  std::uint8_t* p = &pixels_[(static_cast<std::size_t>(y) * width_ + x) * 4];
  p[0] = value.r;
  p[1] = value.g;
  p[2] = value.b;
  p[3] = value.a;
}

bool PngImage::assign(int width, int height, std::vector<std::uint8_t> rgba) {
  if (width <= 0 || height <= 0 || rgba.size() != static_cast<std::size_t>(width) * height * 4) return false;
  width_ = width;
  height_ = height;
  pixels_ = std::move(rgba);
  return true;
}

bool PngImage::isOpaque() const {
  for (std::size_t i = 3; i < pixels_.size(); i += 4) {
    if (pixels_[i] != 255) return false;
  }
  return true;
}

bool PngImage::writeFile(const std::string& path, std::string& error) const {
  if (isEmpty()) {
    error = "cannot write PNG file " + quoted(path) + ": the picture is empty";
    return false;
  }
  if (path.empty()) {
    error = "cannot write PNG file: no file name given";
    return false;
  }
  // libpng's simplified interface reports errors through image.message
  // instead of longjmp, which keeps C++ objects out of harm's way.
  std::string why;
  const bool ok = safeoutput::WriteFile(
      path,
      [this](std::FILE* file, std::string& message) {
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        image.width = static_cast<png_uint_32>(width_);
        image.height = static_cast<png_uint_32>(height_);
        const bool opaque = isOpaque();
        std::vector<std::uint8_t> rgb;
        const void* data = pixels_.data();
        if (opaque) {
          image.format = PNG_FORMAT_RGB;
          rgb.reserve(pixels_.size() / 4 * 3);
          for (std::size_t i = 0; i < pixels_.size(); i += 4) rgb.insert(rgb.end(), &pixels_[i], &pixels_[i + 3]);
          data = rgb.data();
        } else {
          image.format = PNG_FORMAT_RGBA;
        }
        const int written = png_image_write_to_stdio(&image, file, 0, data, 0, nullptr);
        if (!written) message = std::string("libpng: ") + image.message;
        png_image_free(&image);
        return written != 0;
      },
      why);
  if (!ok) {
    // WriteFile's sentence starts "cannot write <path>: ".
    const std::string prefix = "cannot write " + path + ": ";
    error = "cannot write PNG file " + quoted(path) + ": " +
            (why.compare(0, prefix.size(), prefix) == 0 ? why.substr(prefix.size()) : why);
    return false;
  }
  return true;
}

bool PngImage::readFile(const std::string& path, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = "cannot read PNG file " + quoted(path) + ": " + std::strerror(errno);
    return false;
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  std::vector<std::uint8_t> rgba;
  bool ok = png_image_begin_read_from_stdio(&image, file) != 0;
  if (ok) {
    image.format = PNG_FORMAT_RGBA;
    const std::size_t bytes = static_cast<std::size_t>(image.width) * image.height * 4;
    if (image.width == 0 || image.height == 0 || image.width > 0x7fffffffu || image.height > 0x7fffffffu ||
        bytes / 4 / image.width != image.height || bytes > kMaxReadBytes) {
      png_image_free(&image);
      std::fclose(file);
      error = "cannot read PNG file " + quoted(path) + ": a picture of " + std::to_string(image.width) + " x " +
              std::to_string(image.height) + " pixels is too large";
      return false;
    }
    rgba.resize(bytes);
    ok = png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) != 0;
  }
  const std::string libpngMessage = image.message;
  png_image_free(&image);
  std::fclose(file);
  if (!ok) {
    error = "cannot read PNG file " + quoted(path) + ": libpng: " + libpngMessage;
    return false;
  }
  return assign(static_cast<int>(image.width), static_cast<int>(image.height), std::move(rgba));
}
