#include "tools/OffscreenContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#ifdef VX_HAVE_OSMESA
#include <GL/osmesa.h>
#endif

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Every GL call made here goes through a pointer fetched from the backend's own
// get-proc-address: with both libOpenGL (GLVND) and libOSMesa in the process, a
// plain glFoo() call binds to whichever library the loader met first, which need
// not be the one whose context is current.
struct OffscreenContext::Native {
  EGLDisplay eglDisplay = EGL_NO_DISPLAY;
  EGLContext eglContext = EGL_NO_CONTEXT;
  EGLSurface eglSurface = EGL_NO_SURFACE;  // 1x1 pbuffer when surfaceless is missing
#ifdef VX_HAVE_OSMESA
  OSMesaContext osContext = nullptr;
  std::vector<std::uint8_t> osBuffer;  // OSMesa insists on a colour buffer
#endif

  decltype(&::glGetString) GetString = nullptr;
  decltype(&::glGetIntegerv) GetIntegerv = nullptr;
  decltype(&::glGetError) GetError = nullptr;
  decltype(&::glReadPixels) ReadPixels = nullptr;
  decltype(&::glPixelStorei) PixelStorei = nullptr;
  decltype(&::glClearColor) ClearColor = nullptr;
  decltype(&::glClear) Clear = nullptr;
  decltype(&::glDepthMask) DepthMask = nullptr;
  decltype(&::glColorMask) ColorMask = nullptr;
  decltype(&::glEnable) Enable = nullptr;
  decltype(&::glDepthFunc) DepthFunc = nullptr;
  PFNGLGENFRAMEBUFFERSPROC GenFramebuffers = nullptr;
  PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers = nullptr;
  PFNGLBINDFRAMEBUFFERPROC BindFramebuffer = nullptr;
  PFNGLFRAMEBUFFERRENDERBUFFERPROC FramebufferRenderbuffer = nullptr;
  PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus = nullptr;
  PFNGLGENRENDERBUFFERSPROC GenRenderbuffers = nullptr;
  PFNGLDELETERENDERBUFFERSPROC DeleteRenderbuffers = nullptr;
  PFNGLBINDRENDERBUFFERPROC BindRenderbuffer = nullptr;
  PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC RenderbufferStorageMultisample = nullptr;
  PFNGLBLITFRAMEBUFFERPROC BlitFramebuffer = nullptr;

  // drawFbo is what Coin draws into; with multisampling it is resolved into
  // readFbo before reading, otherwise readFbo == drawFbo.
  GLuint drawFbo = 0, readFbo = 0;
  GLuint drawColor = 0, drawDepth = 0, readColor = 0;

  template <class F>
  bool load(F& f, void* (*getProc)(const char*), const char* name) {
    f = reinterpret_cast<F>(getProc(name));
    return f != nullptr;
  }
};

namespace {

int g_eglDisplayUsers = 0;  // contexts alive on the shared surfaceless display

void* eglProc(const char* name) { return reinterpret_cast<void*>(eglGetProcAddress(name)); }

#ifdef VX_HAVE_OSMESA
void* osMesaProc(const char* name) { return reinterpret_cast<void*>(OSMesaGetProcAddress(name)); }
#endif

bool hasExtension(const char* list, const char* name) {
  if (!list) return false;
  const std::size_t n = std::strlen(name);
  for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
    const bool startOk = p == list || p[-1] == ' ';
    const bool endOk = p[n] == '\0' || p[n] == ' ';
    if (startOk && endOk) return true;
  }
  return false;
}

std::string eglErrorText(const char* what) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s failed (EGL error 0x%04X)", what, static_cast<unsigned>(eglGetError()));
  return buf;
}

bool loadGl(OffscreenContext::Native& n, void* (*getProc)(const char*), std::string& missing) {
  struct Entry {
    bool ok;
    const char* name;
  };
  // Each entry loads n.Name from "glName".
#define VX_GL_ENTRY(name) \
  { n.load(n.name, getProc, "gl" #name), "gl" #name }
  const Entry entries[] = {
      VX_GL_ENTRY(GetString),
      VX_GL_ENTRY(GetIntegerv),
      VX_GL_ENTRY(GetError),
      VX_GL_ENTRY(ReadPixels),
      VX_GL_ENTRY(PixelStorei),
      VX_GL_ENTRY(ClearColor),
      VX_GL_ENTRY(Clear),
      VX_GL_ENTRY(DepthMask),
      VX_GL_ENTRY(ColorMask),
      VX_GL_ENTRY(Enable),
      VX_GL_ENTRY(DepthFunc),
      VX_GL_ENTRY(GenFramebuffers),
      VX_GL_ENTRY(DeleteFramebuffers),
      VX_GL_ENTRY(BindFramebuffer),
      VX_GL_ENTRY(FramebufferRenderbuffer),
      VX_GL_ENTRY(CheckFramebufferStatus),
      VX_GL_ENTRY(GenRenderbuffers),
      VX_GL_ENTRY(DeleteRenderbuffers),
      VX_GL_ENTRY(BindRenderbuffer),
      VX_GL_ENTRY(RenderbufferStorageMultisample),
      VX_GL_ENTRY(BlitFramebuffer),
  };
#undef VX_GL_ENTRY
  for (const Entry& e : entries) {
    if (!e.ok) {
      missing = e.name;
      return false;
    }
  }
  return true;
}

}  // namespace

const char* OffscreenContext::backendName(Backend backend) {
  switch (backend) {
    case Backend::EglSurfaceless:
      return "EGL (Mesa surfaceless)";
    case Backend::OSMesa:
      return "OSMesa";
    case Backend::Auto:
      break;
  }
  return "none";
}

OffscreenContext::OffscreenContext(int width, int height) : width_(width), height_(height), native_(new Native) {}

OffscreenContext::~OffscreenContext() { destroy(); }

std::unique_ptr<OffscreenContext> OffscreenContext::create(int width, int height, int samples, Backend preferred,
                                                           std::string& error) {
  error.clear();
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
    error = "picture size " + std::to_string(width) + " x " + std::to_string(height) + " is outside 1..16384 pixels";
    return nullptr;
  }
  if (preferred == Backend::Auto) {
    if (const char* env = std::getenv("VX_RENDER_BACKEND")) {
      if (std::strcmp(env, "egl") == 0) preferred = Backend::EglSurfaceless;
      if (std::strcmp(env, "osmesa") == 0) preferred = Backend::OSMesa;
    }
  }

  std::string eglWhy, osWhy;
  if (preferred != Backend::OSMesa) {
    std::unique_ptr<OffscreenContext> c(new OffscreenContext(width, height));
    if (c->initEgl(eglWhy) && c->checkProcessEntryPoints(eglWhy) && c->initFramebuffers(samples, eglWhy)) return c;
  }
  if (preferred != Backend::EglSurfaceless) {
    std::unique_ptr<OffscreenContext> c(new OffscreenContext(width, height));
    if (c->initOsMesa(osWhy) && c->checkProcessEntryPoints(osWhy) && c->initFramebuffers(samples, osWhy)) return c;
  }
  error = "no headless OpenGL context could be created:";
  if (!eglWhy.empty()) error += " EGL surfaceless: " + eglWhy + ";";
  if (!osWhy.empty()) error += " OSMesa: " + osWhy + ";";
  error.back() = '.';
  return nullptr;
}

bool OffscreenContext::initEgl(std::string& error) {
  Native& n = *native_;
  const char* clientExt = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  if (!hasExtension(clientExt, "EGL_MESA_platform_surfaceless")) {
    error = "the EGL library offers no EGL_MESA_platform_surfaceless";
    return false;
  }
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  if (!getPlatformDisplay) {
    error = "eglGetPlatformDisplayEXT is missing";
    return false;
  }
  n.eglDisplay = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  if (n.eglDisplay == EGL_NO_DISPLAY) {
    error = eglErrorText("eglGetPlatformDisplayEXT");
    return false;
  }
  EGLint major = 0, minor = 0;
  if (!eglInitialize(n.eglDisplay, &major, &minor)) {
    error = eglErrorText("eglInitialize");
    n.eglDisplay = EGL_NO_DISPLAY;
    return false;
  }
  ++g_eglDisplayUsers;  // from here on destroy() owes the display a release

  if (!eglBindAPI(EGL_OPENGL_API)) {
    error = eglErrorText("eglBindAPI(EGL_OPENGL_API)");
    return false;
  }
  const EGLint configAttribs[] = {EGL_SURFACE_TYPE,
                                  EGL_PBUFFER_BIT,
                                  EGL_RENDERABLE_TYPE,
                                  EGL_OPENGL_BIT,
                                  EGL_RED_SIZE,
                                  8,
                                  EGL_GREEN_SIZE,
                                  8,
                                  EGL_BLUE_SIZE,
                                  8,
                                  EGL_ALPHA_SIZE,
                                  8,
                                  EGL_DEPTH_SIZE,
                                  24,
                                  EGL_NONE};
  EGLConfig config = nullptr;
  EGLint count = 0;
  if (!eglChooseConfig(n.eglDisplay, configAttribs, &config, 1, &count) || count < 1) {
    error = "no RGBA8/depth24 OpenGL pbuffer configuration on the surfaceless display";
    return false;
  }
  // No version asked: Mesa then gives its highest compatibility profile, which
  // Coin's fixed-function drawing needs.
  n.eglContext = eglCreateContext(n.eglDisplay, config, EGL_NO_CONTEXT, nullptr);
  if (n.eglContext == EGL_NO_CONTEXT) {
    error = eglErrorText("eglCreateContext");
    return false;
  }
  if (!hasExtension(eglQueryString(n.eglDisplay, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context")) {
    const EGLint pbufferAttribs[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
    n.eglSurface = eglCreatePbufferSurface(n.eglDisplay, config, pbufferAttribs);
    if (n.eglSurface == EGL_NO_SURFACE) {
      error = eglErrorText("eglCreatePbufferSurface");
      return false;
    }
  }
  if (!eglMakeCurrent(n.eglDisplay, n.eglSurface, n.eglSurface, n.eglContext)) {
    error = eglErrorText("eglMakeCurrent");
    return false;
  }
  std::string missing;
  if (!loadGl(n, eglProc, missing)) {
    error = "the driver lacks " + missing;
    return false;
  }
  backend_ = Backend::EglSurfaceless;
  return true;
}

bool OffscreenContext::initOsMesa(std::string& error) {
#ifdef VX_HAVE_OSMESA
  Native& n = *native_;
  const int attribs[] = {OSMESA_FORMAT,
                         OSMESA_RGBA,
                         OSMESA_DEPTH_BITS,
                         24,
                         OSMESA_STENCIL_BITS,
                         8,
                         OSMESA_PROFILE,
                         OSMESA_COMPAT_PROFILE,
                         0};
  n.osContext = OSMesaCreateContextAttribs(attribs, nullptr);
  if (!n.osContext) {
    error = "OSMesaCreateContextAttribs failed";
    return false;
  }
  n.osBuffer.assign(static_cast<std::size_t>(width_) * height_ * 4, 0);
  if (!OSMesaMakeCurrent(n.osContext, n.osBuffer.data(), GL_UNSIGNED_BYTE, width_, height_)) {
    error = "OSMesaMakeCurrent failed";
    return false;
  }
  std::string missing;
  if (!loadGl(n, osMesaProc, missing)) {
    error = "the driver lacks " + missing;
    return false;
  }
  backend_ = Backend::OSMesa;
  return true;
#else
  error = "this build has no OSMesa support";
  return false;
#endif
}

bool OffscreenContext::checkProcessEntryPoints(std::string& error) {
  // Coin calls glFoo() directly; the dynamic loader binds those calls to the
  // first library in the process that exports them. libOSMesa exports them
  // too, and Mesa's EGL and OSMesa contexts share one dispatch, so either
  // library serves either Mesa context - except that GLVND's libOpenGL knows
  // nothing of an OSMesa context: when it comes first, Coin would draw nothing.
  using GetStringFn = const GLubyte* (*)(GLenum);
  const auto processGetString = reinterpret_cast<GetStringFn>(dlsym(RTLD_DEFAULT, "glGetString"));
  if (!processGetString || !processGetString(GL_VERSION)) {
    error =
        "the context is current, but the process's glGetString does not see it "
        "(OpenGL entry points come from a library that does not serve this context)";
    return false;
  }
  return true;
}

bool OffscreenContext::initFramebuffers(int samples, std::string& error) {
  Native& n = *native_;
  auto text = [&](GLenum what) {
    const GLubyte* s = n.GetString(what);
    return std::string(s ? reinterpret_cast<const char*>(s) : "?");
  };
  glDescription_ = text(GL_VENDOR) + " / " + text(GL_RENDERER) + " / " + text(GL_VERSION);

  GLint maxSamples = 0, maxSize = 0;
  n.GetIntegerv(GL_MAX_SAMPLES, &maxSamples);
  n.GetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
  if (width_ > maxSize || height_ > maxSize) {
    error = "the driver's largest framebuffer is " + std::to_string(maxSize) + " pixels a side";
    return false;
  }
  samples_ = samples <= 1 ? 0 : (samples > maxSamples ? maxSamples : samples);
  if (samples_ == 1) samples_ = 0;

  n.GenFramebuffers(1, &n.drawFbo);
  n.BindFramebuffer(GL_FRAMEBUFFER, n.drawFbo);
  n.GenRenderbuffers(1, &n.drawColor);
  n.BindRenderbuffer(GL_RENDERBUFFER, n.drawColor);
  n.RenderbufferStorageMultisample(GL_RENDERBUFFER, samples_, GL_RGBA8, width_, height_);
  n.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, n.drawColor);
  n.GenRenderbuffers(1, &n.drawDepth);
  n.BindRenderbuffer(GL_RENDERBUFFER, n.drawDepth);
  n.RenderbufferStorageMultisample(GL_RENDERBUFFER, samples_, GL_DEPTH24_STENCIL8, width_, height_);
  n.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, n.drawDepth);
  if (n.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    error = "the " + std::to_string(samples_) + "-sample framebuffer is incomplete";
    return false;
  }
  if (samples_ == 0) {
    n.readFbo = n.drawFbo;
  } else {
    n.GenFramebuffers(1, &n.readFbo);
    n.BindFramebuffer(GL_FRAMEBUFFER, n.readFbo);
    n.GenRenderbuffers(1, &n.readColor);
    n.BindRenderbuffer(GL_RENDERBUFFER, n.readColor);
    n.RenderbufferStorageMultisample(GL_RENDERBUFFER, 0, GL_RGBA8, width_, height_);
    n.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, n.readColor);
    if (n.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
      error = "the resolve framebuffer is incomplete";
      return false;
    }
  }
  n.BindFramebuffer(GL_FRAMEBUFFER, n.drawFbo);
  if (n.GetError() != GL_NO_ERROR) {
    error = "OpenGL reported an error while setting up the framebuffer";
    return false;
  }
  return true;
}

bool OffscreenContext::makeCurrent() {
  Native& n = *native_;
  bool ok = false;
  if (backend_ == Backend::EglSurfaceless) {
    ok = eglMakeCurrent(n.eglDisplay, n.eglSurface, n.eglSurface, n.eglContext) == EGL_TRUE;
  }
#ifdef VX_HAVE_OSMESA
  if (backend_ == Backend::OSMesa) {
    ok = OSMesaMakeCurrent(n.osContext, n.osBuffer.data(), GL_UNSIGNED_BYTE, width_, height_) != 0;
  }
#endif
  if (ok) n.BindFramebuffer(GL_FRAMEBUFFER, n.drawFbo);
  return ok;
}

void OffscreenContext::beginFrame(float r, float g, float b, float a) {
  Native& n = *native_;
  // Write masks left off by the previous picture would make the clear a no-op.
  n.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  n.DepthMask(GL_TRUE);
  n.ClearColor(r, g, b, a);
  n.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  // Coin's render action takes the depth test as given (a viewer's render
  // manager switches it on); without it the last drawn shape wins.
  n.Enable(GL_DEPTH_TEST);
  n.DepthFunc(GL_LEQUAL);
}

bool OffscreenContext::readPixels(std::vector<std::uint8_t>& rgba) {
  Native& n = *native_;
  while (n.GetError() != GL_NO_ERROR) {
  }  // drop errors left by the drawing; only our own matter here
  if (n.readFbo != n.drawFbo) {
    n.BindFramebuffer(GL_READ_FRAMEBUFFER, n.drawFbo);
    n.BindFramebuffer(GL_DRAW_FRAMEBUFFER, n.readFbo);
    n.BlitFramebuffer(0, 0, width_, height_, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  }
  n.BindFramebuffer(GL_FRAMEBUFFER, n.readFbo);
  const std::size_t rowBytes = static_cast<std::size_t>(width_) * 4;
  std::vector<std::uint8_t> bottomUp(rowBytes * height_);
  n.PixelStorei(GL_PACK_ALIGNMENT, 1);
  n.PixelStorei(GL_PACK_ROW_LENGTH, 0);
  n.ReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  n.BindFramebuffer(GL_FRAMEBUFFER, n.drawFbo);
  if (n.GetError() != GL_NO_ERROR) return false;
  // OpenGL's row 0 is the bottom one; pictures start at the top.
  rgba.resize(bottomUp.size());
  for (int y = 0; y < height_; ++y) {
    std::memcpy(&rgba[y * rowBytes], &bottomUp[(height_ - 1 - y) * rowBytes], rowBytes);
  }
  return true;
}

void OffscreenContext::destroy() {
  Native& n = *native_;
  const bool current = backend_ != Backend::Auto && makeCurrent();
  if (current && n.DeleteFramebuffers) {
    if (n.readFbo && n.readFbo != n.drawFbo) n.DeleteFramebuffers(1, &n.readFbo);
    if (n.drawFbo) n.DeleteFramebuffers(1, &n.drawFbo);
    const GLuint rbs[] = {n.drawColor, n.drawDepth, n.readColor};
    for (GLuint rb : rbs) {
      if (rb) n.DeleteRenderbuffers(1, &rb);
    }
  }
  if (n.eglDisplay != EGL_NO_DISPLAY) {
    eglMakeCurrent(n.eglDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (n.eglSurface != EGL_NO_SURFACE) eglDestroySurface(n.eglDisplay, n.eglSurface);
    if (n.eglContext != EGL_NO_CONTEXT) eglDestroyContext(n.eglDisplay, n.eglContext);
    // The surfaceless display is one per process and shared by every context on
    // it; terminating it while another renderer lives would kill that one too.
    if (--g_eglDisplayUsers == 0) eglTerminate(n.eglDisplay);
    n.eglDisplay = EGL_NO_DISPLAY;
  }
#ifdef VX_HAVE_OSMESA
  if (n.osContext) {
    OSMesaDestroyContext(n.osContext);
    n.osContext = nullptr;
  }
#endif
  backend_ = Backend::Auto;
}
