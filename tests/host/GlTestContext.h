#pragma once
// A current OpenGL context for render tests, with a pbuffer of the given
// size: EGL on Mesa's surfaceless platform, loaded at run time so that the
// test binary needs no GL link. When no context can be made, ok() is false
// and error() says why (the caller skips its test).
#include <string>
#include <vector>

class GlTestContext {
public:
  GlTestContext(int width, int height);
  ~GlTestContext();
  GlTestContext(const GlTestContext&) = delete;
  GlTestContext& operator=(const GlTestContext&) = delete;

  bool ok() const { return m_ok; }
  const std::string& error() const { return m_error; }

  // Clears colour (to black) and depth.
  void clear();
  // RGBA bytes, bottom row first.
  std::vector<unsigned char> readPixels();

private:
  struct Api;
  Api* m_api = nullptr;
  bool m_ok = false;
  std::string m_error;
  int m_width, m_height;
};
