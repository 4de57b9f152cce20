// What a preview needs of one PDC file: the positions and the values of one
// attribute, read through the file layer's record walker. Every other
// record is stepped over unread, so a file with many attributes costs
// little more than one with two.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "tools/common/InputFile.h"
#include "tools/preview/Projection.h"

namespace VelpoTools {

// Values of one record: `components` numbers per particle, or one set for
// every particle when the record holds a single value.
struct CRecordValues {
    int32_t components = 0;  // 0: not read (absent or not wanted)
    bool single = false;
    std::vector<double> values;

    // The components of particle i, first of `components`.
    const double* Of(int64_t i) const {
        return values.data() + (single ? 0 : i * static_cast<int64_t>(components));
    }
};

struct CParticleFrame {
    std::string file;
    int64_t particles = 0;  // the header's count
    CRecordValues positions;
    CRecordValues colour;

    // Particles to draw: one when every particle shares a single position
    // (they would all land on the same pixel, the first one in front).
    int64_t Drawn() const { return positions.single ? std::min<int64_t>(particles, 1) : particles; }
};

struct CFrameWants {
    bool positions = true;
    std::string colour;  // empty: no colour attribute
};

// Reads `file`. Fails naming the file when it cannot be read whole, when it
// has no record "position" holding vectors (with positions wanted), or no
// record named `wants.colour`. Of records sharing a name, the one the nodes
// deliver counts (pdc/SlotFilling.h): the last "position" holding vectors,
// the last record named `wants.colour`.
Velpo::CResult ReadParticleFrame(const std::string& file, const CFrameWants& wants,
                                 CParticleFrame& frame);

// The same for the jobs of a sequence, which must not throw: running out of
// memory is the frame's failure, naming the file.
Velpo::CResult ReadFrameNoThrow(const std::string& file, const CFrameWants& wants,
                                CParticleFrame& frame);

// Statistics of the colour attribute of a frame: per particle, a scalar's
// value or a vector's length; min, max and mean over the finite ones.
struct CColourStats {
    double min = 0.0;
    double max = 0.0;
    double sum = 0.0;
    int64_t finite = 0;
    int64_t nonFinite = 0;

    void Add(double value);
    void Add(const CColourStats& other);
    double Mean() const { return finite ? sum / static_cast<double>(finite) : 0.0; }
};

// The number that colours particle i: the value, or the vector's length.
double ColourValue(const CRecordValues& colour, int64_t i);

CColourStats ColourStatsOf(const CParticleFrame& frame);

// The box around the frame's finite positions.
CBounds BoundsOf(const CParticleFrame& frame);

// Where a record's values lie in the file, for reading them in blocks.
struct CRecordPlace {
    int64_t valuesOffset = 0;
    bool integers = false;  // int32 numbers, else doubles
};

struct CFrameLayout {
    CRecordPlace positions;
    CRecordPlace colour;
    CFilePointer stream;  // the walked file, open
};

// A frame read a block of particles at a time, so that a preview holds
// what one block needs whatever the frame's size. Open walks the file as
// ReadParticleFrame does and fails as it does, keeping single-value records
// and where the array records lie; the blocks then read the array records'
// slices again from there. Each block is a CParticleFrame of its own
// particles (`particles` is the block's count; a single-value record stands
// as it is), handed over in file order. One thread uses an object at a time.
class CParticleBlocks {
public:
    static constexpr int64_t DefaultBlockParticles = 65536;

    Velpo::CResult Open(const std::string& file, const CFrameWants& wants,
                        int64_t blockParticles = DefaultBlockParticles);

    int64_t Particles() const { return frame_.particles; }
    int64_t Drawn() const { return frame_.Drawn(); }
    int32_t ColourComponents() const { return frame_.colour.components; }

    // What ColourStatsOf and BoundsOf give for the whole frame, exactly, in
    // one pass over its blocks.
    Velpo::CResult Summarise(CColourStats& stats, CBounds& bounds);

    // The blocks of the particles to draw (Drawn()). Fails, naming the file,
    // when the values cannot be read again.
    Velpo::CResult ForEachDrawn(const std::function<void(const CParticleFrame&)>& use);

private:
    Velpo::CResult ForEach(int64_t count, const std::function<void(const CParticleFrame&)>& use);
    Velpo::CResult ForEachBlock(int64_t count,
                                const std::function<void(const CParticleFrame&)>& use);

    CParticleFrame frame_;  // header count, single values and what each record holds
    CFrameLayout layout_;
    int64_t blockParticles_ = DefaultBlockParticles;
    std::vector<int32_t> integers_;
};

// Open for the jobs of a sequence, which must not throw.
Velpo::CResult OpenBlocksNoThrow(const std::string& file, const CFrameWants& wants,
                                 CParticleBlocks& blocks);
// Open, then the first pass (Summarise): what a sequence's sheet and chart
// learn of each frame before they draw. Does not throw.
Velpo::CResult SummariseFrameNoThrow(const std::string& file, const CFrameWants& wants,
                                     CParticleBlocks& blocks, CColourStats& stats, CBounds& bounds);

}  // namespace VelpoTools
