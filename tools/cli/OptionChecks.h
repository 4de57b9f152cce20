// Checks of option values as CLI11 validators: a value that is wrong is a
// usage error (exit status 2) before the command runs, and its message says
// what is wrong with it, after the option's name:
//
//   --tolerance: "inf" is not a finite number
//   --size: "100000x100000" is too big: each side at most 16384 pixels
//
// Each returns a new validator; they hold no state and may be shared.
#pragma once

#include <CLI/CLI.hpp>

namespace VelpoTools {

// A finite decimal number from 0 up: no NaN or infinity, no hexadecimal,
// nothing after the number.
CLI::Validator FiniteNonNegative();

// A picture size WIDTHxHEIGHT, each side within the preview's bounds
// (tools/preview/PreviewChoice.h).
CLI::Validator PictureSize();

// A perspective camera EX,EY,EZ[,TX,TY,TZ[,FOV]] of finite decimal numbers
// (tools/preview/Projection.h).
CLI::Validator CameraPlacement();

}  // namespace VelpoTools
