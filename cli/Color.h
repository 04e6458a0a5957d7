// Colour for people at a terminal: results green, red or yellow. --color=auto (the default)
// colours a stream that is a terminal unless NO_COLOR is set to something; always and never mean
// what they say (always also past NO_COLOR: the command line is the operator's last word).
#pragma once

#include <cstdio>
#include <string>

enum class ColorWhen { kAuto, kAlways, kNever };
enum class Tone { kPlain, kGood, kBad, kWarn };

// "auto", "always" or "never"; false for anything else.
bool ParseColorWhen(const std::string& text, ColorWhen& when);
// Whether what goes to stream is coloured.
bool ColorFor(std::FILE* stream, ColorWhen when);
// text in its tone's colour when color is on; as it is otherwise (and for kPlain).
std::string Paint(const std::string& text, Tone tone, bool color);
