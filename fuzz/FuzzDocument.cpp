// libFuzzer target: our document reader on text in memory (the header
// check, the bracket and field-declaration pass, Coin's parser, the
// assembly and geometry checks).
#include <cstdint>
#include <string>

#include "host/DocumentIO.h"
#include "host/SoKRN_MainDoc.h"
#include "host/VistrelHost.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  VistrelHostInit();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string error;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (SoKRN_MainDoc* doc = vx::host::ReadDocumentFromString(text, error)) doc->unref();
  return 0;
}
