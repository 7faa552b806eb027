#include "host/SampleAssembly.h"
#include "host/SoKRN_MainDoc.h"
#include "tools/AssemblyImporter.h"
#include "tools/Commands.h"

vx::host::SoRef<SoKRN_MainDoc> LoadAssembly(const std::string& file, std::string& error, bool allowExternal) {
  using Held = vx::host::SoRef<SoKRN_MainDoc>;
  if (file.empty()) return Held::adopt(vx::host::BuildSampleAssembly());
  ImportOptions options;
  options.allowExternal = allowExternal;
  return Held::adopt(ImportAssembly(file, error, nullptr, options));
}
