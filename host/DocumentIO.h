#pragma once
// Reading and writing a document as an Inventor file of host kits.
#include <string>

class SoKRN_MainDoc;

namespace vhost {

// Reads an Inventor file whose root is a document kit (or holds one).
// Returns the document referenced once, or null with a one-line reason.
SoKRN_MainDoc* ReadDocument(const std::string& file, std::string& error);
// The same from text in memory.
SoKRN_MainDoc* ReadDocumentFromString(const std::string& text, std::string& error);

bool WriteDocument(SoKRN_MainDoc* doc, const std::string& file, std::string& error);
std::string WriteDocumentToString(SoKRN_MainDoc* doc);

}  // namespace vhost
