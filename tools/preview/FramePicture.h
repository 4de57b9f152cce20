// One frame drawn whole: the particles framed to their bounds (or to bounds
// given, for the tiles of a sheet), coloured by the attribute, with the
// legend band under them.
#pragma once

#include <cstdint>
#include <string>

#include "base/Result.h"
#include "tools/preview/Legend.h"
#include "tools/preview/ParticleFrame.h"
#include "tools/preview/Picture.h"
#include "tools/preview/PointRenderer.h"
#include "tools/preview/PreviewChoice.h"

namespace VelpoTools {

// The colouring of a frame (or sequence) whose attribute has `stats`.
// Fails, naming `file`, when --rgb is asked of an attribute that holds no
// vectors.
Velpo::CResult ChooseColouring(const CPreviewChoice& choice, const std::string& file,
                               int32_t components, const CColourStats& stats,
                               CColouring& colouring);

// The legend's text about the drawing: particle count and what was not drawn.
std::string DrawnDetail(int64_t particles, const CRenderCounts& counts);

// Reads `file` and draws it into `picture` (choice.width x choice.height).
Velpo::CResult DrawFramePicture(const CPreviewChoice& choice, const std::string& file,
                                CPicture& picture, int64_t& particles);

}  // namespace VelpoTools
