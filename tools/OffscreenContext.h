#pragma once
// A headless OpenGL context with an off-screen framebuffer to draw into.
//
// Coin's own off-screen renderer wants GLX, which a machine without a display
// server does not have. This class makes the context itself: EGL on Mesa's
// surfaceless platform first, OSMesa second (when built with VX_HAVE_OSMESA).
// Either way the drawing goes into a framebuffer object of the requested size
// (multisampled when asked and supported) that readPixels() resolves and reads.
//
// Contract: one thread; the context is made current by makeCurrent() and stays
// current until another context is made current. Not copyable.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class OffscreenContext {
public:
  enum class Backend { Auto, EglSurfaceless, OSMesa };

  // Creates a context with a width x height framebuffer and up to `samples`
  // samples per pixel (clamped to what the driver offers; 0 or 1 = none).
  // `preferred` = Auto tries EGL, then OSMesa; the environment variable
  // VX_RENDER_BACKEND ("egl" or "osmesa") overrides Auto. On failure returns
  // null and sets `error` to a sentence naming every path that was tried.
  static std::unique_ptr<OffscreenContext> create(int width, int height, int samples, Backend preferred,
                                                  std::string& error);
  ~OffscreenContext();
  OffscreenContext(const OffscreenContext&) = delete;
  OffscreenContext& operator=(const OffscreenContext&) = delete;

  // Makes the context current and binds its drawing framebuffer.
  bool makeCurrent();

  // Starts a picture: clears colour (to r, g, b, a in [0, 1]), depth and
  // stencil of the drawing framebuffer and switches the depth test on
  // (GL_LEQUAL). The context must be current.
  void beginFrame(float r, float g, float b, float a);

  // Resolves the drawing framebuffer and reads it as RGBA, 8 bits a channel,
  // rows top-down (row 0 is the top of the picture). The context must be current.
  bool readPixels(std::vector<std::uint8_t>& rgba);

  Backend backend() const { return backend_; }
  static const char* backendName(Backend backend);
  int width() const { return width_; }
  int height() const { return height_; }
  int samples() const { return samples_; }
  // GL_VENDOR / GL_RENDERER / GL_VERSION as the driver reports them.
  const std::string& glDescription() const { return glDescription_; }

  struct Native;  // EGL / OSMesa handles and GL entry points (source file only)

private:
  OffscreenContext(int width, int height);
  bool initEgl(std::string& error);
  bool initOsMesa(std::string& error);
  bool checkProcessEntryPoints(std::string& error);
  bool initFramebuffers(int samples, std::string& error);
  void destroy();

  Backend backend_ = Backend::Auto;
  int width_ = 0;
  int height_ = 0;
  int samples_ = 0;
  std::string glDescription_;
  std::unique_ptr<Native> native_;
};
