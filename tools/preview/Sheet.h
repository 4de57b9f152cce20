// A contact sheet: the frames of a sequence side by side in a grid, each
// tile labelled with its frame number, all framed to the bounds of the
// whole sequence and coloured on one range, so motion and change show.
//
// Two passes over the frames, each frame read, used and dropped by one job
// at a time: the first finds the common bounds and range, the second draws
// every frame into its own tile. Memory holds the sheet and one frame per
// job, whatever the sequence's length.
#pragma once

#include <cstddef>
#include <vector>

#include "tools/common/Console.h"
#include "tools/preview/PointRenderer.h"
#include "tools/preview/PreviewChoice.h"
#include "tools/preview/SequencePicture.h"
#include "tools/sequence/Sequence.h"
#include "tools/sequence/SequenceOptions.h"

namespace VelpoTools {

// Tiles keep the aspect ratio of the area they fill; the grid is the one
// that makes them largest.
struct CSheetLayout {
    int columns = 1;
    int rows = 1;
    int tileWidth = 0;
    int tileHeight = 0;
    int left = 0;  // of the grid, centred in the area
    int top = 0;

    CRegion Tile(size_t index) const;
};

CSheetLayout LayOutSheet(size_t tiles, int width, int height);

// Smallest tile side that still shows something.
inline constexpr int MinTileSide = 24;

// Draws the sheet and writes it to choice.output. A frame that cannot be
// read is named on the console's errors as the frames run and marked in its
// tile (a cross and "unreadable"); the sheet is written with the others,
// and the outcome's problem counts them. When no frame can be read, or the
// output cannot be written, nothing is written.
CSequencePicture WriteSheet(const CPreviewChoice& choice, const std::string& pattern,
                            const std::vector<CSequenceFrame>& frames,
                            const CSequenceChoice& sequence, CConsole& console);

}  // namespace VelpoTools
