// Numbers as text, both ways, so that every value written reads back to the
// same bits: the shortest text that round-trips, and parsers that take the
// whole text or nothing. A whole number below 10^16 is written with all its
// digits (300000, not 3e+05), which round-trips as well.
//
// NaN and the infinities are written "NaN", "Infinity" and "-Infinity", the
// words that JSON readers such as Python's json module take; the parsers
// take them back (in any letter case), so a table round-trips them too.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/Result.h"

namespace VelpoTools {

std::string FormatFloat(float value);
std::string FormatDouble(double value);
void AppendFloat(std::string& out, float value);
void AppendDouble(std::string& out, double value);
void AppendInt(std::string& out, int64_t value);

// What a parser made of a text.
enum class CParsed {
    Number,      // the whole text is the number, stored
    NotANumber,  // not the whole text is a number of the type
    OutOfRange,  // a number, but too large or too small for the type (1e-50 for a float)
};

// The whole text must be the number; no blanks, no sign "+", no trailing
// characters. The value is stored only for CParsed::Number.
CParsed ParseFloat(std::string_view text, float& value);
CParsed ParseDouble(std::string_view text, double& value);
CParsed ParseInt32(std::string_view text, int32_t& value);

// Inclusive frame range "A-B" or a single frame "A"; frames may be negative
// ("-3--1"). Fails, saying why, on anything else or A > B.
Velpo::CResult ParseFrames(const std::string& text, int32_t& first, int32_t& last);

}  // namespace VelpoTools
