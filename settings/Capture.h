// Settings capture: reads every main-window control back into the Settings Image.
#pragma once

#include <cstdint>
#include <string>

#include "settings/Conversions.h"  // ConversionError, which the capture throws

struct EditBinding;

// Runs the capture steps in image order; throws ConversionError at the first strict conversion that
// fails, the fields captured before it keeping their new values and everything after it its old
// content. With no settings view registered (no window: tests, the command-line tool) there are no
// controls to read and the image is left as it is.
void CaptureSettings();

// Converts an edit's text into its field (group bytes at edit.offset) as capture does: a strict
// conversion that fails throws ConversionError and leaves the field alone; a lenient scan that
// finds no number at the start of the text leaves it alone too and gives false.
bool StoreEditText(const EditBinding& edit, const std::string& text, uint8_t* field);
