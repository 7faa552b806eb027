#include "host/SampleAssembly.h"
#include "host/SoKRN_MainDoc.h"
#include "tools/AssemblyImporter.h"
#include "tools/Commands.h"

SoKRN_MainDoc* LoadAssembly(const std::string& file, std::string& error) {
  if (file.empty()) return vhost::BuildSampleAssembly();
  return ImportAssembly(file, error, nullptr);
}
