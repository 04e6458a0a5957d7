// Settings capture: reads every main-window control back into the Settings Image.
#pragma once

#include "settings/Conversions.h"  // ConversionError, which the capture throws

// Runs the capture steps in image order; throws ConversionError at the first strict conversion that
// fails, the fields captured before it keeping their new values and everything after it its old
// content. With no settings view registered (no window: tests, the command-line tool) there are no
// controls to read and the image is left as it is.
void CaptureSettings();
