#include "host/DocumentIO.h"

#include "host/SoKRN_MainDoc.h"

namespace vhost {
SoKRN_MainDoc* ReadDocument(const std::string&, std::string& error) {
  error = "not implemented yet";
  return nullptr;
}
SoKRN_MainDoc* ReadDocumentFromString(const std::string&, std::string& error) {
  error = "not implemented yet";
  return nullptr;
}
bool WriteDocument(SoKRN_MainDoc*, const std::string&, std::string& error) {
  error = "not implemented yet";
  return false;
}
std::string WriteDocumentToString(SoKRN_MainDoc*) { return std::string(); }
}  // namespace vhost
