#include "python/src/CacheWriter.h"

#include "pdc/Pdc.h"
#include "pdc/RecordWriter.h"
#include "pdc/SafeWrite.h"

namespace VelpoPython {

bool WriteCache(const std::string& path, int32_t particleCount,
                const std::vector<CWriteRecord>& records, std::string& reason,
                CDurability durability) {
    const auto write = [&](FILE* file) {
        const PdcHeader header =
            PdcHeader::ForWriting(particleCount, static_cast<int32_t>(records.size()));
        if (!header.FWrite(file)) {
            return false;
        }
        for (const CWriteRecord& record : records) {
            const bool written = record.integers ? PdcWriteRecord(file, record.name, record.code,
                                                                  record.integers, record.numbers)
                                                 : PdcWriteRecord(file, record.name, record.code,
                                                                  record.doubles, record.numbers);
            if (!written) {
                return false;
            }
        }
        return true;
    };
    return SafeWriteFile(path, write, reason, durability);
}

}  // namespace VelpoPython
