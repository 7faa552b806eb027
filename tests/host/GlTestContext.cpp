#include "GlTestContext.h"

#include <dlfcn.h>
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

struct GlTestContext::Api {
  void* lib = nullptr;
  decltype(&eglGetProcAddress) GetProcAddress = nullptr;
  decltype(&eglInitialize) Initialize = nullptr;
  decltype(&eglChooseConfig) ChooseConfig = nullptr;
  decltype(&eglBindAPI) BindAPI = nullptr;
  decltype(&eglCreateContext) CreateContext = nullptr;
  decltype(&eglCreatePbufferSurface) CreatePbufferSurface = nullptr;
  decltype(&eglMakeCurrent) MakeCurrent = nullptr;
  decltype(&eglDestroySurface) DestroySurface = nullptr;
  decltype(&eglDestroyContext) DestroyContext = nullptr;
  PFNEGLGETPLATFORMDISPLAYEXTPROC GetPlatformDisplay = nullptr;
  decltype(&glReadPixels) ReadPixels = nullptr;
  decltype(&glFinish) Finish = nullptr;
  decltype(&glClearColor) ClearColor = nullptr;
  decltype(&glClear) Clear = nullptr;
  decltype(&glPixelStorei) PixelStorei = nullptr;
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLContext context = EGL_NO_CONTEXT;
  EGLSurface surface = EGL_NO_SURFACE;

  template <class F>
  bool sym(F& f, const char* name) {
    f = reinterpret_cast<F>(dlsym(lib, name));
    return f != nullptr;
  }
  template <class F>
  bool proc(F& f, const char* name) {
    f = reinterpret_cast<F>(GetProcAddress(name));
    return f != nullptr;
  }
};

GlTestContext::GlTestContext(int width, int height) : m_api(new Api), m_width(width), m_height(height) {
  Api& a = *m_api;
  a.lib = dlopen("libEGL.so.1", RTLD_NOW | RTLD_GLOBAL);
  if (!a.lib) {
    m_error = "libEGL.so.1 not found";
    return;
  }
  if (!a.sym(a.GetProcAddress, "eglGetProcAddress") || !a.sym(a.Initialize, "eglInitialize") ||
      !a.sym(a.ChooseConfig, "eglChooseConfig") || !a.sym(a.BindAPI, "eglBindAPI") ||
      !a.sym(a.CreateContext, "eglCreateContext") ||
      !a.sym(a.CreatePbufferSurface, "eglCreatePbufferSurface") ||
      !a.sym(a.MakeCurrent, "eglMakeCurrent") || !a.sym(a.DestroySurface, "eglDestroySurface") ||
      !a.sym(a.DestroyContext, "eglDestroyContext") ||
      !a.proc(a.GetPlatformDisplay, "eglGetPlatformDisplayEXT")) {
    m_error = "EGL entry points missing";
    return;
  }
  a.display = a.GetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  EGLint major = 0, minor = 0;
  if (a.display == EGL_NO_DISPLAY || !a.Initialize(a.display, &major, &minor)) {
    m_error = "no surfaceless EGL display";
    return;
  }
  const EGLint attribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8,
                            EGL_BLUE_SIZE, 8, EGL_DEPTH_SIZE, 24, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                            EGL_NONE};
  EGLConfig config;
  EGLint count = 0;
  if (!a.ChooseConfig(a.display, attribs, &config, 1, &count) || count < 1) {
    m_error = "no pbuffer config";
    return;
  }
  a.BindAPI(EGL_OPENGL_API);
  a.context = a.CreateContext(a.display, config, EGL_NO_CONTEXT, nullptr);
  const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
  a.surface = a.CreatePbufferSurface(a.display, config, size);
  if (a.context == EGL_NO_CONTEXT || a.surface == EGL_NO_SURFACE ||
      !a.MakeCurrent(a.display, a.surface, a.surface, a.context)) {
    m_error = "cannot make a pbuffer context current";
    return;
  }
  if (!a.proc(a.ReadPixels, "glReadPixels") || !a.proc(a.Finish, "glFinish") ||
      !a.proc(a.ClearColor, "glClearColor") || !a.proc(a.Clear, "glClear") ||
      !a.proc(a.PixelStorei, "glPixelStorei")) {
    m_error = "GL entry points missing";
    return;
  }
  m_ok = true;
}

GlTestContext::~GlTestContext() {
  Api& a = *m_api;
  if (a.display != EGL_NO_DISPLAY && a.MakeCurrent) {
    a.MakeCurrent(a.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (a.surface != EGL_NO_SURFACE) a.DestroySurface(a.display, a.surface);
    if (a.context != EGL_NO_CONTEXT) a.DestroyContext(a.display, a.context);
  }
  // The display and the library stay: Mesa does not like being unloaded
  // while Coin still holds GL function pointers.
  delete m_api;
}

void GlTestContext::clear() {
  if (!m_ok) return;
  m_api->ClearColor(0, 0, 0, 1);
  m_api->Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

std::vector<unsigned char> GlTestContext::readPixels() {
  std::vector<unsigned char> px(static_cast<size_t>(m_width) * m_height * 4);
  if (!m_ok) return px;
  m_api->Finish();
  m_api->PixelStorei(GL_PACK_ALIGNMENT, 1);
  m_api->ReadPixels(0, 0, m_width, m_height, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  return px;
}
