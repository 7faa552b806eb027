// PickObjectData is header-only; this unit makes the library compile its header.
#include "picking/PickObjectData.h"
