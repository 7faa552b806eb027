#pragma once
// Reading and writing a document as an Inventor file of host kits.
#include <string>

class SoKRN_MainDoc;

namespace vx::host {

struct ReadOptions {
  // Inventor File nodes read another file while the document is parsed; they
  // are refused unless allowed, and then must name regular files (a device or
  // a FIFO would never end or block). Names are taken relative to `baseDir`
  // (the reading process's directory when empty). Other nodes that load
  // files (textures, images, inlines, shaders) are always refused.
  bool allowFileNodes = false;
  std::string baseDir;
};

// Reads an Inventor file whose root is a document kit (or holds one).
// Returns the document referenced once, or null with a one-line reason.
// The geometry is checked before the document is handed out: every
// coordinate finite, every coordIndex within its coordinates, every
// non-indexed shape's vertex counts within them; the first bad element is
// named ("prototype \"Box\": coordIndex[2] = 9 out of range (8 points)").
SoKRN_MainDoc* ReadDocument(const std::string& file, std::string& error, const ReadOptions& options = ReadOptions());
// The same from text in memory.
SoKRN_MainDoc* ReadDocumentFromString(const std::string& text, std::string& error,
                                      const ReadOptions& options = ReadOptions());

bool WriteDocument(SoKRN_MainDoc* doc, const std::string& file, std::string& error);
std::string WriteDocumentToString(SoKRN_MainDoc* doc);

}  // namespace vx::host
