#include "host/SoBrepFaceSet.h"

SO_NODE_SOURCE(SoBrepFaceSet);

void SoBrepFaceSet::initClass() { SO_NODE_INIT_CLASS(SoBrepFaceSet, SoIndexedFaceSet, "IndexedFaceSet"); }

SoBrepFaceSet::SoBrepFaceSet() { SO_NODE_CONSTRUCTOR(SoBrepFaceSet); }

SoBrepFaceSet::~SoBrepFaceSet() = default;
