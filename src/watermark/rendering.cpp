#include "watermark/rendering.h"

// Rendering through the internal job is not built yet; nothing is made.
BOOL MakeWatermarkData(KQDEVMODE*, HANDLE) { return TRUE; }
