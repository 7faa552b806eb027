#include "host/SoKRN_DocElementKit.h"

#include <Inventor/SbRotation.h>
#include <Inventor/SbVec3f.h>
#include <Inventor/errors/SoDebugError.h>
#include <Inventor/nodes/SoTransform.h>

SO_KIT_SOURCE(SoKRN_DocElementKit);

namespace {

// Names are kept as UTF-8 in the field; wchar_t holds UTF-32 (or UTF-16 with
// surrogate pairs where wchar_t is 16 bits wide).
std::string WideToUtf8(const std::wstring& w) {
  std::string out;
  out.reserve(w.size());
  for (size_t i = 0; i < w.size(); ++i) {
    uint32_t c = static_cast<uint32_t>(w[i]);
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c < 0xDC00 && i + 1 < w.size()) {
      const uint32_t lo = static_cast<uint32_t>(w[i + 1]);
      if (lo >= 0xDC00 && lo < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
        ++i;
      }
    }
    if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) c = 0xFFFD;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Malformed sequences become U+FFFD, one per offending byte.
std::wstring Utf8ToWide(const char* s, size_t n) {
  std::wstring out;
  out.reserve(n);
  size_t i = 0;
  while (i < n) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    uint32_t c = 0xFFFD;
    size_t len = 1;
    if (b < 0x80) {
      c = b;
    } else if ((b & 0xE0) == 0xC0) {
      len = 2;
    } else if ((b & 0xF0) == 0xE0) {
      len = 3;
    } else if ((b & 0xF8) == 0xF0) {
      len = 4;
    }
    if (len > 1) {
      bool ok = i + len <= n;
      uint32_t v = b & (0x7F >> len);
      for (size_t k = 1; ok && k < len; ++k) {
        const unsigned char cb = static_cast<unsigned char>(s[i + k]);
        if ((cb & 0xC0) != 0x80) ok = false;
        v = (v << 6) | (cb & 0x3F);
      }
      static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
      if (ok && v >= kMin[len] && v <= 0x10FFFF && !(v >= 0xD800 && v < 0xE000)) {
        c = v;
      } else {
        len = 1;
      }
    }
    if (sizeof(wchar_t) == 2 && c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (c >> 10));
      out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<wchar_t>(c);
    }
    i += len;
  }
  return out;
}

}  // namespace

void SoKRN_DocElementKit::initClass() { SO_KIT_INIT_CLASS(SoKRN_DocElementKit, SoKRN_BaseKit, "SoKRN_BaseKit"); }

SoKRN_DocElementKit::SoKRN_DocElementKit() {
  SO_KIT_CONSTRUCTOR(SoKRN_DocElementKit);
  SO_KIT_ADD_FIELD(krnName, (""));
  SO_KIT_ADD_FIELD(elementId, (0));
  SO_KIT_INIT_INSTANCE();
}

SoKRN_DocElementKit::~SoKRN_DocElementKit() = default;

void SoKRN_DocElementKit::getKRNName(std::wstring& name) const {
  const SbString& s = krnName.getValue();
  name = Utf8ToWide(s.getString(), static_cast<size_t>(s.getLength()));
}

void SoKRN_DocElementKit::setKRNName(const std::wstring& name) { krnName.setValue(WideToUtf8(name).c_str()); }

int SoKRN_DocElementKit::getNumEleChildren() const { return 0; }

SoKRN_DocElementKit* SoKRN_DocElementKit::getEleChild(int) const { return nullptr; }

SoTransform* SoKRN_DocElementKit::getTrans(bool) { return nullptr; }

void SoKRN_DocElementKit::setMatrix(const SbMatrix& m, bool notify) {
  SoTransform* t = getTrans(true);
  if (!t) {
    SoDebugError::post("SoKRN_DocElementKit::setMatrix", "element has no placement transform");
    return;
  }
  SbVec3f translation, scale;
  SbRotation rotation, scaleOrientation;
  m.getTransform(translation, rotation, scale, scaleOrientation);
  // The transform fields always notify, so render and bounding-box caches
  // stay right; `notify` only decides whether the whole document is told.
  if (t->translation.getValue() != translation) t->translation.setValue(translation);
  if (!(t->rotation.getValue() == rotation)) t->rotation.setValue(rotation);
  if (t->scaleFactor.getValue() != scale) t->scaleFactor.setValue(scale);
  // Readers build the placement from these three fields only; anything else
  // left over from a file would make rendering disagree with them.
  if (!(t->scaleOrientation.getValue() == SbRotation::identity())) t->scaleOrientation.setValue(SbRotation::identity());
  if (t->center.getValue() != SbVec3f(0, 0, 0)) t->center.setValue(0, 0, 0);
  if (notify) touch();
}
