#include "host/SampleAssembly.h"
#include "host/SoKRN_MainDoc.h"
#include "tools/AssemblyImporter.h"
#include "tools/Commands.h"

SoKRN_MainDoc* LoadAssembly(const std::string& file, std::string& error, bool allowExternal) {
  if (file.empty()) return vhost::BuildSampleAssembly();
  ImportOptions options;
  options.allowExternal = allowExternal;
  return ImportAssembly(file, error, nullptr, options);
}
