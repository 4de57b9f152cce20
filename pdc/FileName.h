// Names of the cache files, one per frame: "<stem>.<frame * step>.pdc".
//
// Both functions are pure: they keep no state, never fail and may be called
// from any thread.
#pragma once

#include <cstdint>

#include "host/sdk/CString.h"

// The path of the cache file for `frame`: `base` resolved by the host
// (CUtils::ResolvePath), cut by CutDots, then ".", the product frame * step
// taken modulo 2^32 as an unsigned decimal number, and ".pdc". A negative
// frame from the host's 32-bit port is passed bit for bit, so it wraps.
// Never returns an empty string.
//   ("/cache/particles.250.pdc", 120, 250) -> "/cache/particles.30000.pdc"
//   ("/cache/particles", 4294967295, 250)  -> "/cache/particles.4294967046.pdc"
XSI::CString GetFileName(XSI::CString base, uint32_t frame, int32_t step);

// `path` cut before its second-to-last dot, so that the name of a file of a
// sequence ("stem.12.pdc") gives back its stem. Dots are counted in the whole
// path, folders included; a path with fewer than two dots comes back as is.
//   "/cache/run.2/particles.pdc" -> "/cache/run"
//   ".particles.pdc"            -> ""
XSI::CString CutDots(XSI::CString path);
