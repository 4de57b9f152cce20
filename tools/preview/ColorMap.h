// Colours of the points: a perceptual colour map for numbers, the grey of
// values that are not numbers, and the plain colours of a picture without
// an attribute.
#pragma once

#include "tools/preview/Picture.h"

namespace VelpoTools {

// The colour of `t` in [0, 1] on a map that runs from dark blue-violet
// through teal to yellow, evenly bright in steps, readable in grey and by
// most colour-blind viewers. `t` outside [0, 1] is clamped; NaN gives
// NonFiniteColour.
CRgb MapColour(double t);

// Where a value lies in [low, high]: 0 at low, 1 at high, 0.5 for every
// value when the range is a single value.
double RangePosition(double value, double low, double high);

// Values that are NaN or infinite: a mid grey that the map never gives.
inline constexpr CRgb NonFiniteColour{150, 150, 150};
inline constexpr CRgb BackgroundColour{22, 24, 30};
inline constexpr CRgb PlainPointColour{235, 225, 200};
inline constexpr CRgb TextColour{230, 230, 230};
inline constexpr CRgb FaintColour{120, 124, 135};
// Marks a frame of a sheet or chart that could not be read.
inline constexpr CRgb UnreadColour{225, 75, 60};

}  // namespace VelpoTools
