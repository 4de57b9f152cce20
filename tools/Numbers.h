// Numbers as text, both ways, so that every value written reads back to the
// same bits: the shortest text that round-trips, and parsers that take the
// whole text or nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace VelpoTools {

std::string FormatFloat(float value);
std::string FormatDouble(double value);
void AppendFloat(std::string& out, float value);
void AppendDouble(std::string& out, double value);
void AppendInt(std::string& out, int64_t value);

// The whole text must be the number; no blanks, no trailing characters.
bool ParseFloat(std::string_view text, float& value);
bool ParseInt32(std::string_view text, int32_t& value);

// Inclusive frame range "A-B" or a single frame "A"; frames may be negative
// ("-3--1"). False, with error saying why, on anything else or A > B.
bool ParseFrames(const std::string& text, int32_t& first, int32_t& last, std::string& error);

}  // namespace VelpoTools
