// Published enumeration values of the host SDK.
#pragma once

#include <cstdint>

namespace XSI {

enum siICENodeDataType : int32_t {
    siICENodeDataLong = 2,     // 32-bit signed integer
    siICENodeDataFloat = 4,    // 32-bit float
    siICENodeDataVector3 = 16  // three 32-bit floats
};

enum siICENodeStructureType : int32_t {
    siICENodeStructureSingle = 1  // one value per element
};

enum siICENodeContextType : int32_t {
    siICENodeContextSingleton = 1,         // one value for the whole evaluation
    siICENodeContextComponent0D = 2,       // one value per point
    siICENodeContextElementGenerator = 32  // the node sets the element count
};

enum siSeverityType : int32_t { siErrorMsg = 2, siInfoMsg = 8 };

// Constraint ID that means "no constraint".
inline constexpr uint32_t siICENodeNoConstraint = 0xFFFFFFFFu;

}  // namespace XSI
