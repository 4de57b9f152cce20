#include "host/runtime/Evaluation.h"

namespace VelpoHost {

int32_t DataTypeOf(const CValues& values) {
    switch (values.index()) {
        case 0:
            return XSI::siICENodeDataLong;
        case 1:
            return XSI::siICENodeDataFloat;
        default:
            return XSI::siICENodeDataVector3;
    }
}

}  // namespace VelpoHost
