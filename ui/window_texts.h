#pragma once

#include <QString>

struct NumberOverflow;

// The sentences the windows write themselves (the port's own descriptions come from the port):
// one place for their wording.

// "Overflow: 70000 is outside -32768 to 32767", for a typed answer that does not fit.
QString overflowText(const NumberOverflow& overflow);
