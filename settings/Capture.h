// Settings capture: reads every main-window control back into the Settings Image.
#pragma once

#include <stdexcept>
#include <string>

// A number that does not convert. The message is the exact text the operator sees (the general
// error handler appends the full stop).
class ConversionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Runs the capture steps in image order; throws ConversionError at the first strict conversion that
// fails, the fields captured before it keeping their new values and everything after it its old
// content. With no settings view registered (no window: tests, the command-line tool) there are no
// controls to read and the image is left as it is.
void CaptureSettings();
