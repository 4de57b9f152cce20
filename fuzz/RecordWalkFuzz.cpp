// Fuzz target: any bytes walked as a cache file by the record walker, the
// one reading of the format that the nodes and every tool share. Whatever
// the input, the walk must not crash or read out of bounds, and what it
// hands over must be consistent: records in file order and inside the file,
// values delivered whole and in order, a problem exactly when it failed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "pdc/RecordWalker.h"
#include "tests/support/Require.h"
#include "tests/support/Streams.h"

namespace {

using VelpoTestSupport::Require;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const VelpoTestSupport::CByteStream stream(data, size);
    FILE* file = stream.Get();
    if (!file) {
        return 0;
    }
    CPdcRecordWalker walker(file);
    if (!walker.ReadHeader()) {
        Require(walker.Failed() && !walker.Problem().empty());
        return 0;
    }
    Require(walker.FileSize() == static_cast<int64_t>(size));
    int64_t end = 28;
    int32_t records = 0;
    CPdcRecord record;
    while (walker.Next(record)) {
        Require(record.index == records);
        Require(record.offset == end);
        Require(record.code >= PdcCodeInteger && record.code <= PdcCodeVectorArray);
        Require(record.count == (record.IsArray() ? walker.Header().particleCount : 1));
        Require(record.valuesOffset + record.ValueBytes() <= walker.FileSize());
        // Every other record's values are read, the rest stepped over.
        if (records % 2 == 0) {
            int64_t delivered = 0;
            const bool read =
                walker.ReadNumbers([&](const unsigned char*, int64_t first, size_t count) {
                    Require(first == delivered);
                    delivered += static_cast<int64_t>(count);
                });
            Require(read && delivered == record.Numbers());
        }
        end = record.valuesOffset + record.ValueBytes();
        ++records;
    }
    Require(walker.Failed() == !walker.Problem().empty());
    Require(walker.Position() <= walker.FileSize());
    if (!walker.Failed()) {
        const int32_t counted = walker.Header().attributeCount;
        Require(walker.EndedWithNameOnlyRecord() ? records == counted - 1
                                                 : records == (counted > 0 ? counted : 0));
    }
    return 0;
}
