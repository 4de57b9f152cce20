// Writing and reading a 1,000,000-particle cache: the library's chunked
// transfers against a reference that moves one number per stream call, both
// from and to memory and through the page cache.
//
// The folder of the page-cache files is VELPO_BENCH_DIR, else the system's
// temporary folder.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/DoubleToInt32.h"
#include "pdc/ByteOrder.h"
#include "pdc/Pdc.h"
#include "tests/support/FileContents.h"
#include "tests/support/PdcLayouts.h"
#include "tests/support/ScratchFolder.h"

namespace {

constexpr int32_t kParticles = 1000000;

using VelpoTestSupport::Text;

// "id", "position", two per-particle Vectors and two per-particle Floats.
void SetLayout(CPdc& pdc) {
    VelpoTestSupport::SetLayout(pdc, {{PdcFirstFloatSlot, "mass"},
                                      {PdcFirstFloatSlot + 1, "temperature"},
                                      {PdcFirstVectorSlot, "velocity"},
                                      {PdcFirstVectorSlot + 1, "color"}});
}

std::unique_ptr<CPdc> MakeParticles() {
    auto pdc = std::make_unique<CPdc>();
    SetLayout(*pdc);
    pdc->Resize(kParticles);
    for (CAttribute& attribute : pdc->attributes) {
        attribute.isArray = attribute.type != PdcTypeNone;
    }
    for (int32_t i = 0; i < kParticles; ++i) {
        const double x = i * 0.001;
        pdc->attributes[PdcFirstFloatSlot].floatValues[i] = static_cast<float>(x);
        pdc->attributes[PdcFirstFloatSlot + 1].floatValues[i] = static_cast<float>(300 + i % 50);
        pdc->attributes[PdcIdSlot].longValues[i] = i;
        pdc->attributes[PdcPositionSlot].vectorValues[i] =
            XSI::MATH::CVector3(x, -x, 1.0 / (i + 1));
        pdc->attributes[PdcFirstVectorSlot].vectorValues[i] = XSI::MATH::CVector3(0.5, x * x, -2);
        pdc->attributes[PdcFirstVectorSlot + 1].vectorValues[i] = XSI::MATH::CVector3(1, 0.25, x);
    }
    return pdc;
}

const CPdc& Particles() {
    static const std::unique_ptr<CPdc> particles = MakeParticles();
    return *particles;
}

// The reference: the same format, one number per stream call.
namespace Reference {

void PutInt32(FILE* file, int32_t value) {
    unsigned char bytes[4];
    PdcByteOrder::StoreInt32(bytes, value);
    std::fwrite(bytes, 4, 1, file);
}

void PutDouble(FILE* file, double value) {
    unsigned char bytes[8];
    PdcByteOrder::StoreDouble(bytes, value);
    std::fwrite(bytes, 8, 1, file);
}

bool GetInt32(FILE* file, int32_t& value) {
    unsigned char bytes[4];
    if (std::fread(bytes, 4, 1, file) != 1) {
        return false;
    }
    value = PdcByteOrder::LoadInt32(bytes);
    return true;
}

bool GetDouble(FILE* file, double& value) {
    unsigned char bytes[8];
    if (std::fread(bytes, 8, 1, file) != 1) {
        return false;
    }
    value = PdcByteOrder::LoadDouble(bytes);
    return true;
}

void Write(FILE* file, const CPdc& pdc) {
    std::fwrite("PDC ", 1, 4, file);
    for (int32_t field : {1, 1, 0, 0, pdc.PositionCount(), pdc.NamedAttributeCount()}) {
        PutInt32(file, field);
    }
    for (const CAttribute& a : pdc.attributes) {
        if (a.name.IsEmpty()) {
            continue;
        }
        const char* name = a.name.GetAsciiString();
        PutInt32(file, static_cast<int32_t>(std::strlen(name)));
        std::fwrite(name, 1, std::strlen(name), file);
        PutInt32(file, a.type == PdcTypeVector ? PdcCodeVectorArray : PdcCodeDoubleArray);
        if (a.type == PdcTypeFloat) {
            for (int32_t i = 0; i < a.floatValues.GetCount(); ++i) {
                PutDouble(file, a.floatValues[i]);
            }
        } else if (a.type == PdcTypeLong) {
            for (int32_t i = 0; i < a.longValues.GetCount(); ++i) {
                PutDouble(file, a.longValues[i]);
            }
        } else {
            for (int32_t i = 0; i < a.vectorValues.GetCount(); ++i) {
                PutDouble(file, a.vectorValues[i].GetX());
                PutDouble(file, a.vectorValues[i].GetY());
                PutDouble(file, a.vectorValues[i].GetZ());
            }
        }
    }
}

bool ReadValues(FILE* file, CAttribute& a, bool integers) {
    const int32_t count = a.isArray ? -1 : 1;
    double d = 0;
    if (a.type == PdcTypeFloat) {
        for (int32_t i = 0; i < (count < 0 ? a.floatValues.GetCount() : 1); ++i) {
            if (!GetDouble(file, d)) {
                return false;
            }
            a.floatValues[i] = static_cast<float>(d);
        }
    } else if (a.type == PdcTypeLong) {
        for (int32_t i = 0; i < (count < 0 ? a.longValues.GetCount() : 1); ++i) {
            int32_t v = 0;
            if (integers ? !GetInt32(file, v) : !GetDouble(file, d)) {
                return false;
            }
            a.longValues[i] = integers ? v : DoubleToInt32(d);
        }
    } else if (a.type == PdcTypeVector) {
        for (int32_t i = 0; i < (count < 0 ? a.vectorValues.GetCount() : 1); ++i) {
            double x, y, z;
            if (!GetDouble(file, x) || !GetDouble(file, y) || !GetDouble(file, z)) {
                return false;
            }
            a.vectorValues[i] = XSI::MATH::CVector3(x, y, z);
        }
    }
    return true;
}

bool Read(FILE* file, CPdc& pdc) {
    PdcHeader& h = pdc.header;
    std::fread(h.format, 1, 4, file);
    for (int32_t* field : {&h.version, &h.byteOrder, &h.reserved1, &h.reserved2, &h.particleCount,
                           &h.attributeCount}) {
        if (!GetInt32(file, *field)) {
            return false;
        }
    }
    for (int32_t record = 0; record < h.attributeCount; ++record) {
        int32_t length = 0, code = 0;
        if (!GetInt32(file, length)) {
            return false;
        }
        std::string name(static_cast<size_t>(length), '\0');
        if (std::fread(name.data(), 1, name.size(), file) != name.size() || !GetInt32(file, code)) {
            return false;
        }
        const XSI::CString recordName = Text(name.c_str());
        CAttribute* slot = nullptr;
        for (CAttribute& a : pdc.attributes) {
            if (a.name == recordName && PdcSlotAccepts(a.type, code)) {
                slot = &a;
                break;
            }
        }
        if (!slot) {
            return false;  // the benchmark's files match every record
        }
        if (PdcCodeIsArray(code)) {
            slot->Resize(h.particleCount);
        }
        slot->isArray = PdcCodeIsArray(code);
        if (!ReadValues(file, *slot, PdcCodeIsInteger(code))) {
            return false;
        }
    }
    return true;
}

}  // namespace Reference

bool WriteChunked(FILE* file, const CPdc& pdc) {
    return PdcHeader::ForWriting(pdc.PositionCount(), pdc.NamedAttributeCount()).FWrite(file) &&
           pdc.FWriteAttributes(file);
}

bool WriteReference(FILE* file, const CPdc& pdc) {
    Reference::Write(file, pdc);
    return std::fflush(file) == 0 && !std::ferror(file);
}

bool ReadChunked(FILE* file, CPdc& pdc) {
    return pdc.header.FRead(file) && pdc.ReadParticles(file);
}

bool ReadReference(FILE* file, CPdc& pdc) {
    return Reference::Read(file, pdc);
}

using WriteFunction = bool (*)(FILE*, const CPdc&);
using ReadFunction = bool (*)(FILE*, CPdc&);

// The file's bytes, made once by the library's writer.
const std::vector<unsigned char>& FileBytes() {
    static const std::vector<unsigned char> bytes = [] {
        const VelpoTestSupport::CScratchFolder folder;
        const std::string path = folder / "bytes.pdc";
        if (!VelpoTestSupport::WritePdcFile(path, Particles())) {
            std::abort();
        }
        return VelpoTestSupport::ReadBytes(path);
    }();
    return bytes;
}

std::string PageCachePath() {
    const char* folder = std::getenv("VELPO_BENCH_DIR");
    const std::filesystem::path base =
        folder && *folder ? std::filesystem::path(folder) : std::filesystem::temp_directory_path();
    return (base / "velpo-bench-page-cache.pdc").string();
}

int64_t FileSize() {
    return static_cast<int64_t>(FileBytes().size());
}

void WriteFile(benchmark::State& state, WriteFunction write) {
    const CPdc& pdc = Particles();
    const std::string path = PageCachePath();
    for (auto _ : state) {
        // Each pass writes a new file, as for a new frame; freeing the
        // previous pass's file is not part of the measure.
        state.PauseTiming();
        std::filesystem::remove(path);
        state.ResumeTiming();
        FILE* file = std::fopen(path.c_str(), "wb");
        const bool written = write(file, pdc);
        if (std::fclose(file) != 0 || !written) {
            state.SkipWithError("write failed");
            break;
        }
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(state.iterations() * FileSize());
}

// One read of the whole file into newly made slots, as a reader of a new
// frame does; closes the stream. False when the read fails or comes up short.
bool ReadIntoFreshSlots(FILE* file, ReadFunction read) {
    auto pdc = std::make_unique<CPdc>();
    SetLayout(*pdc);
    const bool ok = read(file, *pdc);
    std::fclose(file);
    benchmark::DoNotOptimize(pdc->attributes[PdcPositionSlot].vectorValues.GetArray());
    return ok && pdc->PositionCount() == kParticles;
}

void ReadFile(benchmark::State& state, ReadFunction read) {
    const std::string path = PageCachePath();
    {
        FILE* file = std::fopen(path.c_str(), "wb");
        std::fwrite(FileBytes().data(), 1, FileBytes().size(), file);
        std::fclose(file);
    }
    for (auto _ : state) {
        if (!ReadIntoFreshSlots(std::fopen(path.c_str(), "rb"), read)) {
            state.SkipWithError("read failed");
            break;
        }
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(state.iterations() * FileSize());
}

#ifndef _WIN32
void WriteMemory(benchmark::State& state, WriteFunction write) {
    const CPdc& pdc = Particles();
    std::vector<unsigned char> memory(FileBytes().size() + 1);
    for (auto _ : state) {
        FILE* file = fmemopen(memory.data(), memory.size(), "wb");
        const bool written = write(file, pdc);
        if (std::fclose(file) != 0 || !written) {
            state.SkipWithError("write failed");
            break;
        }
    }
    if (std::memcmp(memory.data(), FileBytes().data(), FileBytes().size()) != 0) {
        state.SkipWithError("written bytes differ from the library's");
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
}

void ReadMemory(benchmark::State& state, ReadFunction read) {
    std::vector<unsigned char> memory = FileBytes();
    for (auto _ : state) {
        if (!ReadIntoFreshSlots(fmemopen(memory.data(), memory.size(), "rb"), read)) {
            state.SkipWithError("read failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * FileSize());
}

BENCHMARK_CAPTURE(WriteMemory, Chunked, WriteChunked)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(WriteMemory, PerValue, WriteReference)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(ReadMemory, Chunked, ReadChunked)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ReadMemory, PerValue, ReadReference)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif

BENCHMARK_CAPTURE(WriteFile, Chunked, WriteChunked)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(WriteFile, PerValue, WriteReference)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(ReadFile, Chunked, ReadChunked)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ReadFile, PerValue, ReadReference)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
