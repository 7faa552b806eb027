#include "GlTestContext.h"

#include <dlfcn.h>
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

// Only eglGetProcAddress is looked up in the library; Mesa hands out every
// other EGL and GL entry point through it.
#define VX_GL_ENTRY_POINTS(X)                                                                        \
  X(eglInitialize) X(eglChooseConfig) X(eglBindAPI) X(eglCreateContext) X(eglCreatePbufferSurface) \
  X(eglMakeCurrent) X(eglDestroySurface) X(eglDestroyContext) X(glReadPixels) X(glFinish)          \
  X(glClearColor) X(glClear) X(glPixelStorei)

struct GlTestContext::Api {
#define VX_DECLARE(f) decltype(&::f) f = nullptr;
  VX_GL_ENTRY_POINTS(VX_DECLARE)
#undef VX_DECLARE
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLContext context = EGL_NO_CONTEXT;
  EGLSurface surface = EGL_NO_SURFACE;
};

GlTestContext::GlTestContext(int width, int height) : m_api(new Api), m_width(width), m_height(height) {
  Api& a = *m_api;
  void* lib = dlopen("libEGL.so.1", RTLD_NOW | RTLD_GLOBAL);
  auto getProc = lib ? reinterpret_cast<decltype(&eglGetProcAddress)>(dlsym(lib, "eglGetProcAddress")) : nullptr;
  auto getDisplay = getProc ? reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(getProc("eglGetPlatformDisplayEXT"))
                            : nullptr;
  bool all = getDisplay != nullptr;
#define VX_LOAD(f) all = all && (a.f = reinterpret_cast<decltype(a.f)>(getProc(#f))) != nullptr;
  VX_GL_ENTRY_POINTS(VX_LOAD)
#undef VX_LOAD
  if (!all) {
    a.eglMakeCurrent = nullptr;  // the destructor must not touch a half-loaded API
    m_error = "libEGL.so.1 or its EGL/GL entry points missing";
    return;
  }
  a.display = getDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  EGLint major = 0, minor = 0;
  if (a.display == EGL_NO_DISPLAY || !a.eglInitialize(a.display, &major, &minor)) {
    m_error = "no surfaceless EGL display";
    return;
  }
  const EGLint attribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8,
                            EGL_BLUE_SIZE, 8, EGL_DEPTH_SIZE, 24, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                            EGL_NONE};
  EGLConfig config;
  EGLint count = 0;
  if (!a.eglChooseConfig(a.display, attribs, &config, 1, &count) || count < 1) {
    m_error = "no pbuffer config";
    return;
  }
  a.eglBindAPI(EGL_OPENGL_API);
  a.context = a.eglCreateContext(a.display, config, EGL_NO_CONTEXT, nullptr);
  const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
  a.surface = a.eglCreatePbufferSurface(a.display, config, size);
  if (a.context == EGL_NO_CONTEXT || a.surface == EGL_NO_SURFACE ||
      !a.eglMakeCurrent(a.display, a.surface, a.surface, a.context)) {
    m_error = "cannot make a pbuffer context current";
    return;
  }
  m_ok = true;
}

GlTestContext::~GlTestContext() {
  Api& a = *m_api;
  if (a.display != EGL_NO_DISPLAY && a.eglMakeCurrent) {
    a.eglMakeCurrent(a.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (a.surface != EGL_NO_SURFACE) a.eglDestroySurface(a.display, a.surface);
    if (a.context != EGL_NO_CONTEXT) a.eglDestroyContext(a.display, a.context);
  }
  // The display and the library stay: Mesa does not like being unloaded
  // while Coin still holds GL function pointers.
  delete m_api;
}

void GlTestContext::clear() {
  if (!m_ok) return;
  m_api->glClearColor(0, 0, 0, 1);
  m_api->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

std::vector<unsigned char> GlTestContext::readPixels() {
  std::vector<unsigned char> px(static_cast<size_t>(m_width) * m_height * 4);
  if (!m_ok) return px;
  m_api->glFinish();
  m_api->glPixelStorei(GL_PACK_ALIGNMENT, 1);
  m_api->glReadPixels(0, 0, m_width, m_height, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  return px;
}
