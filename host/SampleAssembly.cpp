#include "host/SampleAssembly.h"

#include "host/DocumentBuilder.h"
#include "host/SoKRN_MainDoc.h"

namespace vhost {
SoKRN_MainDoc* BuildSampleAssembly() {
  SoKRN_MainDoc* doc = NewDocument();
  doc->ref();
  return doc;
}
}  // namespace vhost
