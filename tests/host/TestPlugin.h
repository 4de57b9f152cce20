// Ports and shared records of the host runtime's test plug-in.
//
// Scale:     Result = Value * Factor + Shift + Base per element, and
//            Moved = Direction * Factor; every input kind and default type.
// Tracker:   records each Evaluate call's port and subset in a record kept
//            as user data, and writes absolute indices, its per-element input
//            and the record's tag.
// Generator: an element generator of Count elements, Position.x = index.
// Leaky:     leaves arrays and index sets acquired and tries refused calls.
// Sparse:    never acquires one output and writes every other element of
//            two more, so what the runtime fills them with shows.
// Missing:   registered, but its _Evaluate is not exported.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace VelpoTest {

inline constexpr uint32_t GroupIn = 100;
inline constexpr uint32_t GroupOut = 300;

// Scale
inline constexpr uint32_t ScaleFactor = 0;     // Float, singleton, default floating 2.0
inline constexpr uint32_t ScaleValue = 1;      // Float, per point, default floating 0.0
inline constexpr uint32_t ScaleShift = 2;      // Long, per point, default floating 1.5
inline constexpr uint32_t ScaleDirection = 3;  // Vector3, per point, default vector (1, 2, 3)
inline constexpr uint32_t ScaleBase = 4;       // Float, singleton, default integer 5
inline constexpr uint32_t ScaleResult = 10;    // Float, per point
inline constexpr uint32_t ScaleMoved = 11;     // Vector3, per point

// Tracker
inline constexpr uint32_t TrackerTag = 0;       // Long, singleton, default integer 7
inline constexpr uint32_t TrackerValue = 1;     // Long, per point, default integer 0
inline constexpr uint32_t TrackerIndex = 10;    // Long, per point: absolute index
inline constexpr uint32_t TrackerEcho = 11;     // Long, per point: Value
inline constexpr uint32_t TrackerSeenTag = 12;  // Long, per point: the record's tag
inline constexpr uint32_t TrackerCount = 13;    // Long, singleton: elements to process

// Generator
inline constexpr uint32_t GeneratorCount = 0;               // Long, singleton, default integer 5
inline constexpr uint32_t GeneratorPosition = 200;          // Vector3, element generator
inline constexpr uint32_t GeneratorNumberOfElements = 201;  // Long, singleton

// Leaky
inline constexpr uint32_t LeakyCount = 0;  // Long, singleton
inline constexpr uint32_t LeakyFlag =
    10;  // Float, per point: 1 when a wrong-type output was refused

// Sparse
inline constexpr uint32_t SparseSkipped = 10;  // Float, per point: never acquired
inline constexpr uint32_t SparseEven = 11;     // Vector3, per point: (index, 0, 0) at even indices
inline constexpr uint32_t SparseOdd = 12;      // Long, per point: index at odd indices

struct CSubset {
    uint32_t port = 0;
    uint32_t offset = 0;
    uint32_t count = 0;
};

// The Tracker's user data. Made by its first BeginEvaluate and kept by the
// instance from then on; the test deletes it.
struct CTrackerRecord {
    int32_t tag = 0;
    uint32_t begins = 0;
    uint32_t ends = 0;
    uint32_t beginPort = 0;
    uint32_t endPort = 0;
    std::atomic<uint32_t> evaluates{0};
    uint32_t evaluatesSeenByEnd = 0;
    std::mutex mutex;
    std::vector<CSubset> subsets;
};

}  // namespace VelpoTest
