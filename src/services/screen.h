// The screen's measures, as the pages the converter draws are sized by them.
#pragma once

#include "base/page_pixels.h"

// Reads the desktop's device context; false when there is none to read.
bool MeasureScreen(ScreenMeasures& screen);
