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

// Runs the capture steps in order; throws ConversionError at the first strict conversion that
// fails, the groups captured before it keeping their new values.
void CaptureSettings();
