// What the host pays per frame, as ratios measured in one run:
//
// - the nodes against the file layer on the same data: one VelpoExport
//   evaluation of 1,000,000 points with all 25 attributes named and fed per
//   point, written to its file, against the file layer writing the same
//   CPdc; one VelpoSetData evaluation reading that file into all 27 outputs
//   against the file layer reading it into a fresh CPdc; each node at 1 and
//   2 threads;
// - the file layer against the machine on a 960 MB frame (10,000,000
//   particles of "position", "velocity" and six per-particle doubles):
//   writing it against the same bytes handed to fwrite in 256 KB runs, and
//   reading it into fresh memory against the same read into a CPdc whose
//   arrays are already mapped (and, for reference, into fresh memory that
//   a read of the same frame has freed just before).
//
// The nodes run their own callbacks (BeginEvaluate, Evaluate per subset of
// 4,096 points and per output port on the runtime's thread pool,
// EndEvaluate) through a minimal host context that serves input and output
// arrays prepared once, as a host serves its own buffers; a separate pair of
// figures goes through the host runtime, which allocates and fills every
// output array anew per evaluation.
//
// Each benchmark runs once per repetition (5 unless --benchmark_repetitions
// says otherwise), repetitions interleaved at random so that a load change
// on a shared machine meets every benchmark alike; the ratios come from the
// medians. Run it under both allocator regimes, which pin glibc's choice
// between fresh and reused memory:
//
//   fresh:  GLIBC_TUNABLES=glibc.malloc.mmap_threshold=131072 bench_nodes
//   reused:
//   GLIBC_TUNABLES=glibc.malloc.mmap_threshold=33554432:glibc.malloc.trim_threshold=68719476736
//   bench_nodes
//
// Writes make a new file per pass (the previous one is removed, and dirty
// pages are synced, outside the timing); reads take a file in the page
// cache. Files go to VELPO_BENCH_DIR, else a scratch folder under the
// system's temporary folder; VELPO_BENCH_FRAME_PARTICLES changes the frame.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/core/ContextBackend.h"
#include "host/core/Log.h"
#include "host/runtime/NodeInstance.h"
#include "host/runtime/Plugin.h"
#include "host/runtime/ThreadPool.h"
#include "pdc/Pdc.h"
#include "plugin/AttributeKinds.h"
#include "tests/support/HostSetup.h"
#include "tests/support/PdcLayouts.h"
#include "tests/support/ScratchFolder.h"

using VelpoHost::CInput;
using VelpoHost::CNodeInstance;
using VelpoTestSupport::AllNames;
using VelpoTestSupport::MakeSettings;
using VelpoTestSupport::Plugin;
using VelpoTestSupport::ReadPdcFile;
using VelpoTestSupport::SetSettingsLayout;
using VelpoTestSupport::WritePdcFile;
using XSI::MATH::CVector3;
using XSI::MATH::CVector3f;

namespace {

constexpr uint32_t Points = 1000000;
constexpr uint32_t SubsetSize = 4096;
constexpr size_t BoundRunBytes = 256 * 1024;

std::string Folder() {
    static const VelpoTestSupport::CScratchFolder scratch;
    const char* named = std::getenv("VELPO_BENCH_DIR");
    return named && *named ? std::string(named) : scratch.Path().string();
}

void Check(bool ok, benchmark::State& state, const char* what) {
    if (!ok) {
        state.SkipWithError(what);
    }
}

// A new file per write pass: replacing an existing file also frees the old
// one's pages, and earlier passes' dirty pages would be written back during
// this one; both stay out of the figure.
void PrepareWrite(benchmark::State& state, const std::string& file) {
    state.PauseTiming();
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    sync();
    state.ResumeTiming();
}

// ---------------------------------------------------------------------------
// The nodes' data: every port of the Export node fed per point.

struct CPointData {
    std::vector<CVector3f> positions = std::vector<CVector3f>(Points);
    std::vector<int32_t> ids = std::vector<int32_t>(Points);
    std::vector<float> floats = std::vector<float>(Points);
    std::vector<int32_t> longs = std::vector<int32_t>(Points);
    std::vector<CVector3f> vectors = std::vector<CVector3f>(Points);

    CPointData() {
        for (uint32_t p = 0; p < Points; ++p) {
            positions[p] = {p * 0.5f, -1.0f * p, 3.0f};
            ids[p] = static_cast<int32_t>(p);
            floats[p] = p * 0.25f;
            longs[p] = -static_cast<int32_t>(p);
            vectors[p] = {1.0f, p * 2.0f, -0.5f};
        }
    }

    // The values of `port` and the size of one.
    const void* Of(uint32_t port, size_t& size) const {
        if (port == PortInPosition) {
            size = sizeof(CVector3f);
            return positions.data();
        }
        if (port == PortId) {
            size = sizeof(int32_t);
            return ids.data();
        }
        const CAttributeKind* kind = FindKindOfPort(port);
        if (!kind) {
            return nullptr;
        }
        switch (kind->slotType) {
            case PdcTypeFloat:
                size = sizeof(float);
                return floats.data();
            case PdcTypeLong:
                size = sizeof(int32_t);
                return longs.data();
            default:
                size = sizeof(CVector3f);
                return vectors.data();
        }
    }
};

const CPointData& Data() {
    static const CPointData data;
    return data;
}

// The CPdc the Export node builds from that data, every slot per particle:
// what the file layer writes against the node.
const CPdc& FilledPdc() {
    static const std::unique_ptr<CPdc> pdc = [] {
        auto made = std::make_unique<CPdc>();
        const CPointData& data = Data();
        SetSettingsLayout(*made, AllNames());
        made->Resize(static_cast<int32_t>(Points));
        for (CAttribute& slot : made->attributes) {
            slot.isArray = slot.type != PdcTypeNone;
        }
        const auto vector = [](const CVector3f& v) {
            return CVector3(v.GetX(), v.GetY(), v.GetZ());
        };
        for (uint32_t p = 0; p < Points; ++p) {
            made->attributes[PdcIdSlot].longValues[p] = data.ids[p];
            made->attributes[PdcPositionSlot].vectorValues[p] = vector(data.positions[p]);
            for (const CAttributeKind& kind : AttributeKinds) {
                for (int32_t i = 0; i < kind.count; ++i) {
                    CAttribute& slot = made->attributes[kind.Slot(i)];
                    if (kind.slotType == PdcTypeFloat) {
                        slot.floatValues[p] = data.floats[p];
                    } else if (kind.slotType == PdcTypeLong) {
                        slot.longValues[p] = data.longs[p];
                    } else {
                        slot.vectorValues[p] = vector(data.vectors[p]);
                    }
                }
            }
        }
        return made;
    }();
    return *pdc;
}

// ---------------------------------------------------------------------------
// A host's side of the callbacks: one context per call, serving the
// prepared arrays of the call's subset, and the outputs into buffers that
// live as long as the benchmark.

class CBenchHost {
public:
    CBenchHost(uint32_t scop, std::map<uint32_t, std::vector<unsigned char>>& outputs)
        : scop_(static_cast<int32_t>(scop)), outputs_(outputs) {}

    XSI::CValue userData;

    class CCall final : public VelpoHost::CContextBackend {
    public:
        CCall(CBenchHost& host, uint32_t port, uint32_t offset, uint32_t count)
            : host_(host), port_(port), offset_(offset), count_(count) {}

        uint32_t EvaluatedOutputPortID() const override { return port_; }
        uint32_t NumberOfElementsToProcess() const override { return Points; }
        XSI::CStatus PutNumberOfElementsToProcess(uint32_t) override { return XSI::CStatus::Fail; }
        XSI::CValue GetUserData() const override { return host_.userData; }
        XSI::CStatus PutUserData(const XSI::CValue& value) override {
            host_.userData = value;
            return XSI::CStatus::OK;
        }
        XSI::CStatus AcquireInput(void** data, uint32_t* count, int32_t, uint32_t, uint32_t portID,
                                  uint32_t) override {
            size_t size = 0;
            const void* base = Data().Of(portID, size);
            if (base == nullptr) {
                single_[0] = portID == PortScop    ? host_.scop_
                             : portID == PortCount ? static_cast<int32_t>(Points)
                                                   : 1;
                *data = &single_;
                *count = 1;
                return XSI::CStatus::OK;
            }
            *data = const_cast<char*>(static_cast<const char*>(base)) + offset_ * size;
            *count = count_;
            return XSI::CStatus::OK;
        }
        XSI::CStatus AcquireOutput(void** data, uint32_t* count, int32_t,
                                   uint32_t elementSize) override {
            std::vector<unsigned char>& buffer = host_.outputs_.at(port_);
            *data = buffer.data() + size_t{offset_} * elementSize;
            *count = count_;
            return XSI::CStatus::OK;
        }
        XSI::CStatus ReleaseArray() override { return XSI::CStatus::OK; }
        XSI::CStatus AcquireIndexSet(uint32_t* offset, uint32_t* count) override {
            *offset = offset_;
            *count = count_;
            return XSI::CStatus::OK;
        }
        XSI::CStatus ReleaseIndexSet() override { return XSI::CStatus::OK; }

    private:
        CBenchHost& host_;
        uint32_t port_, offset_, count_;
        int32_t single_[3] = {0, 0, 0};
    };

    // One evaluation: BeginEvaluate, Evaluate for every port and subset on
    // the pool, EndEvaluate.
    void Evaluate(const VelpoHost::CNodeCallbacks& callbacks, const std::vector<uint32_t>& ports,
                  uint32_t threads) {
        Call(callbacks.begin, 0xFFFFFFFFu, 0, Points);
        const uint32_t subsets = (Points + SubsetSize - 1) / SubsetSize;
        const std::function<void(uint32_t)> task = [&](uint32_t t) {
            const uint32_t offset = (t % subsets) * SubsetSize;
            Call(callbacks.evaluate, ports[t / subsets], offset,
                 std::min(SubsetSize, Points - offset));
        };
        VelpoHost::CThreadPool::Shared(threads).Run(static_cast<uint32_t>(ports.size()) * subsets,
                                                    task);
        Call(callbacks.end, 0xFFFFFFFFu, 0, Points);
    }

private:
    void Call(VelpoHost::CNodeCallback callback, uint32_t port, uint32_t offset, uint32_t count) {
        CCall call(*this, port, offset, count);
        XSI::ICENodeContext context(&call);
        callback(context);
    }

    int32_t scop_;
    std::map<uint32_t, std::vector<unsigned char>>& outputs_;
};

uint32_t ElementSize(int32_t dataType) {
    return dataType == XSI::siICENodeDataVector3 ? sizeof(CVector3f) : 4;
}

// Output buffers of every port a node computes, touched once.
std::map<uint32_t, std::vector<unsigned char>> OutputBuffers(bool setData) {
    std::map<uint32_t, std::vector<unsigned char>> outputs;
    outputs[PortPosition].assign(size_t{Points} * sizeof(CVector3f), 1);
    if (setData) {
        outputs[PortId].assign(size_t{Points} * 4, 1);
        for (const CAttributeKind& kind : AttributeKinds) {
            for (int32_t i = 0; i < kind.count; ++i) {
                outputs[kind.Port(i)].assign(size_t{Points} * ElementSize(kind.dataType), 1);
            }
        }
    }
    return outputs;
}

std::vector<uint32_t> PortsOf(const std::map<uint32_t, std::vector<unsigned char>>& outputs) {
    std::vector<uint32_t> ports;
    for (const auto& entry : outputs) {
        ports.push_back(entry.first);
    }
    return ports;
}

bool Callbacks(const char* node, VelpoHost::CNodeCallbacks& callbacks) {
    return Plugin() && Plugin()->Callbacks(node, callbacks);
}

uint32_t Settings(const std::string& stem) {
    return MakeSettings(Folder() + "/" + stem, 1, AllNames());
}

void BM_ExportNode(benchmark::State& state) {
    VelpoHost::CNodeCallbacks callbacks;
    if (!Callbacks("VelpoExport", callbacks)) {
        state.SkipWithError("VelpoExport's callbacks are not exported");
        return;
    }
    auto outputs = OutputBuffers(false);
    CBenchHost host(Settings("export"), outputs);
    const std::string file = Folder() + "/export.1.pdc";
    for (auto _ : state) {
        PrepareWrite(state, file);
        host.Evaluate(callbacks, PortsOf(outputs), static_cast<uint32_t>(state.range(0)));
    }
    Check(VelpoHost::CLog::Instance().Take().empty() && std::filesystem::exists(file) &&
              std::filesystem::file_size(file) > Points * 300u,
          state, "export failed");
}

void BM_LayerWrite(benchmark::State& state) {
    const CPdc& pdc = FilledPdc();
    const std::string file = Folder() + "/layer.1.pdc";
    for (auto _ : state) {
        PrepareWrite(state, file);
        Check(WritePdcFile(file, pdc), state, "write failed");
    }
}

// The file both readers read: what the Export node writes.
const std::string& ReadbackFile() {
    static const std::string file = [] {
        const std::string path = Folder() + "/readback.1.pdc";
        if (!WritePdcFile(path, FilledPdc())) {
            std::abort();
        }
        return path;
    }();
    return file;
}

void BM_SetDataNode(benchmark::State& state) {
    VelpoHost::CNodeCallbacks callbacks;
    if (!Callbacks("VelpoSetData", callbacks)) {
        state.SkipWithError("VelpoSetData's callbacks are not exported");
        return;
    }
    ReadbackFile();
    auto outputs = OutputBuffers(true);
    CBenchHost host(Settings("readback"), outputs);
    for (auto _ : state) {
        host.Evaluate(callbacks, PortsOf(outputs), static_cast<uint32_t>(state.range(0)));
    }
    int32_t lastId = 0;
    std::memcpy(&lastId, outputs.at(PortId).data() + 4 * (Points - 1), 4);
    Check(VelpoHost::CLog::Instance().Take().empty() && lastId == static_cast<int32_t>(Points - 1),
          state, "read failed");
}

void BM_LayerRead(benchmark::State& state) {
    const std::string& file = ReadbackFile();
    for (auto _ : state) {
        auto pdc = std::make_unique<CPdc>();
        SetSettingsLayout(*pdc, AllNames());
        Check(ReadPdcFile(file, *pdc) && pdc->PositionCount() == static_cast<int32_t>(Points),
              state, "read failed");
        pdc.reset();  // as the node frees its record within the evaluation
    }
}

// The same evaluations through the host runtime.
CNodeInstance RuntimeExport(uint32_t scop) {
    const CPointData& data = Data();
    CNodeInstance node(Plugin(), "VelpoExport");
    node.Connect(PortScop, CInput::Constant(static_cast<int32_t>(scop)));
    node.Connect(PortFrame, CInput::Constant(int32_t{1}));
    node.Connect(PortCount, CInput::Constant(static_cast<int32_t>(Points)));
    node.Connect(PortInPosition, CInput::PerElement(data.positions));
    node.Connect(PortId, CInput::PerElement(data.ids));
    for (const CAttributeKind& kind : AttributeKinds) {
        for (int32_t i = 0; i < kind.count; ++i) {
            if (kind.slotType == PdcTypeFloat) {
                node.Connect(kind.Port(i), CInput::PerElement(data.floats));
            } else if (kind.slotType == PdcTypeLong) {
                node.Connect(kind.Port(i), CInput::PerElement(data.longs));
            } else {
                node.Connect(kind.Port(i), CInput::PerElement(data.vectors));
            }
        }
    }
    return node;
}

VelpoHost::CEvaluateOptions Options(uint32_t threads) {
    VelpoHost::CEvaluateOptions options;
    options.subsetSize = SubsetSize;
    options.threads = threads;
    options.maxElements = Points;
    return options;
}

void BM_ExportRuntime(benchmark::State& state) {
    CNodeInstance node = RuntimeExport(Settings("runtime"));
    const std::string file = Folder() + "/runtime.1.pdc";
    for (auto _ : state) {
        PrepareWrite(state, file);
        const auto result = node.Evaluate(Options(static_cast<uint32_t>(state.range(0))));
        Check(result.status && result.unreleasedArrays == 0, state, "export failed");
    }
}

void BM_SetDataRuntime(benchmark::State& state) {
    ReadbackFile();
    CNodeInstance node(Plugin(), "VelpoSetData");
    node.Connect(PortScop, CInput::Constant(static_cast<int32_t>(Settings("readback"))));
    node.Connect(PortFrame, CInput::Constant(int32_t{1}));
    node.Connect(PortInPosition, CInput::PerElement(std::vector<CVector3f>(Points)));
    for (auto _ : state) {
        const auto result = node.Evaluate(Options(static_cast<uint32_t>(state.range(0))));
        Check(result.status && result.outputs.size() == 27, state, "read failed");
    }
}

// ---------------------------------------------------------------------------
// The 960 MB frame.

constexpr const char* DoubleNames[] = {"age",     "mass",     "radius",
                                       "density", "pressure", "temperature"};

int32_t FrameParticles() {
    const char* text = std::getenv("VELPO_BENCH_FRAME_PARTICLES");
    return text && *text ? std::atoi(text) : 10000000;
}

void SetFrameLayout(CPdc& pdc) {
    for (int32_t i = 0; i < 6; ++i) {
        VelpoTestSupport::NameSlots(pdc, {{PdcFirstFloatSlot + i, DoubleNames[i]}});
    }
    VelpoTestSupport::NameSlots(pdc,
                                {{PdcPositionSlot, "position"}, {PdcFirstVectorSlot, "velocity"}});
}

const CPdc& Frame() {
    static const std::unique_ptr<CPdc> frame = [] {
        auto pdc = std::make_unique<CPdc>();
        SetFrameLayout(*pdc);
        const int32_t n = FrameParticles();
        pdc->Resize(n);
        for (CAttribute& attribute : pdc->attributes) {
            attribute.isArray = attribute.type != PdcTypeNone;
        }
        for (int32_t i = 0; i < n; ++i) {
            const double x = i * 1e-3;
            pdc->attributes[PdcPositionSlot].vectorValues[i] = CVector3(x, -x, 1.0 / (i + 1));
            pdc->attributes[PdcFirstVectorSlot].vectorValues[i] = CVector3(0.5, x * x, -2);
            for (int32_t f = 0; f < 6; ++f) {
                pdc->attributes[PdcFirstFloatSlot + f].floatValues[i] = static_cast<float>(x * f);
            }
        }
        return pdc;
    }();
    return *frame;
}

const std::string& FrameFile() {
    static const std::string file = [] {
        const std::string path = Folder() + "/frame.1.pdc";
        if (!WritePdcFile(path, Frame())) {
            std::abort();
        }
        return path;
    }();
    return file;
}

// The frame's bytes, as the bound writes them.
const std::vector<char>& FrameBytes() {
    static const std::vector<char> bytes = [] {
        const std::string& path = FrameFile();
        std::vector<char> read(std::filesystem::file_size(path));
        std::ifstream(path, std::ios::binary)
            .read(read.data(), static_cast<std::streamsize>(read.size()));
        return read;
    }();
    return bytes;
}

void SetFrameBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(FrameFile())));
}

void BM_FrameLayerWrite(benchmark::State& state) {
    const CPdc& frame = Frame();
    const std::string file = Folder() + "/frame-layer.1.pdc";
    for (auto _ : state) {
        PrepareWrite(state, file);
        Check(WritePdcFile(file, frame), state, "write failed");
    }
    SetFrameBytes(state);
}

void BM_FrameWriteBound(benchmark::State& state) {
    const std::vector<char>& bytes = FrameBytes();
    const std::string file = Folder() + "/frame-bound.1.pdc";
    for (auto _ : state) {
        PrepareWrite(state, file);
        FILE* out = std::fopen(file.c_str(), "wb");
        bool written = out != nullptr;
        for (size_t at = 0; written && at < bytes.size(); at += BoundRunBytes) {
            const size_t run = std::min(BoundRunBytes, bytes.size() - at);
            written = std::fwrite(bytes.data() + at, 1, run, out) == run;
        }
        Check(out && std::fclose(out) == 0 && written, state, "write failed");
    }
    SetFrameBytes(state);
}

bool ReadFrame(CPdc& pdc) {
    return ReadPdcFile(FrameFile(), pdc) && pdc.PositionCount() == FrameParticles();
}

void BM_FrameLayerRead(benchmark::State& state) {
    FrameFile();
    for (auto _ : state) {
        state.PauseTiming();
        auto pdc = std::make_unique<CPdc>();
        SetFrameLayout(*pdc);
        state.ResumeTiming();
        Check(ReadFrame(*pdc), state, "read failed");
        state.PauseTiming();
        pdc.reset();  // freeing is not part of the read
        state.ResumeTiming();
    }
    SetFrameBytes(state);
}

// Fresh memory again, but freed by a read of the same frame just before, as
// when a host reads frame after frame: the system hands back memory it has
// only just taken, which on some machines (virtual ones that return free
// memory to their host after a delay) is far cheaper to touch first.
void BM_FrameLayerReadAfterRead(benchmark::State& state) {
    FrameFile();
    for (auto _ : state) {
        state.PauseTiming();
        auto pdc = std::make_unique<CPdc>();
        SetFrameLayout(*pdc);
        Check(ReadFrame(*pdc), state, "read failed");
        pdc = std::make_unique<CPdc>();
        SetFrameLayout(*pdc);
        state.ResumeTiming();
        Check(ReadFrame(*pdc), state, "read failed");
        state.PauseTiming();
        pdc.reset();
        state.ResumeTiming();
    }
    SetFrameBytes(state);
}

void BM_FrameLayerReadMapped(benchmark::State& state) {
    FrameFile();
    CPdc pdc;
    SetFrameLayout(pdc);
    Check(ReadFrame(pdc), state, "read failed");  // maps the arrays
    for (auto _ : state) {
        Check(ReadFrame(pdc), state, "read failed");
    }
    SetFrameBytes(state);
}

BENCHMARK(BM_LayerWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportNode)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_LayerRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_SetDataNode)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_ExportRuntime)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_SetDataRuntime)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK(BM_FrameLayerWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_FrameWriteBound)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_FrameLayerRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_FrameLayerReadAfterRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_FrameLayerReadMapped)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// Prints the benchmarks as usual, then the ratios from the medians of their
// repetitions.
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    CRatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) {
                continue;
            }
            const std::string key = run.run_name.function_name +
                                    (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
            if (run.error_occurred) {
                failed_.push_back(key + ": " + run.error_message);
                continue;
            }
            seconds_[key].push_back(run.GetAdjustedRealTime() /
                                    benchmark::GetTimeUnitMultiplier(run.time_unit));
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nRatios of medians (GLIBC_TUNABLES=%s)\n",
                    std::getenv("GLIBC_TUNABLES") ? std::getenv("GLIBC_TUNABLES") : "");
        for (const char* threads : {"1", "2"}) {
            Ratio(Format("VelpoExport, %s thread(s), / file layer write", threads),
                  Format("BM_ExportNode/%s", threads), "BM_LayerWrite", "<= 1.2");
            Ratio(Format("VelpoSetData, %s thread(s), / file layer read", threads),
                  Format("BM_SetDataNode/%s", threads), "BM_LayerRead", "<= 1.2");
        }
        Ratio("VelpoExport, 2 threads / 1 thread", "BM_ExportNode/2", "BM_ExportNode/1", "<= 1");
        Ratio("VelpoSetData, 2 threads / 1 thread", "BM_SetDataNode/2", "BM_SetDataNode/1", "<= 1");
        for (const char* threads : {"1", "2"}) {
            Ratio(Format("through the runtime: VelpoExport, %s thread(s), / file layer write",
                         threads),
                  Format("BM_ExportRuntime/%s", threads), "BM_LayerWrite", "");
            Ratio(Format("through the runtime: VelpoSetData, %s thread(s), / file layer read",
                         threads),
                  Format("BM_SetDataRuntime/%s", threads), "BM_LayerRead", "");
        }
        Ratio("frame write: 256 KB fwrite bound / file layer (share of the bound)",
              "BM_FrameWriteBound", "BM_FrameLayerWrite", ">= 0.9");
        Ratio("frame read: mapped memory / fresh memory (share of the bound)",
              "BM_FrameLayerReadMapped", "BM_FrameLayerRead", "");
        Ratio("frame read: mapped memory / memory freed by the read before",
              "BM_FrameLayerReadMapped", "BM_FrameLayerReadAfterRead", "");
        for (const char* key :
             {"BM_FrameLayerRead", "BM_FrameLayerReadAfterRead", "BM_FrameLayerReadMapped",
              "BM_FrameLayerWrite", "BM_FrameWriteBound"}) {
            const double median = Median(key);
            if (median > 0) {
                const double bytes = static_cast<double>(std::filesystem::file_size(FrameFile()));
                std::printf("  %-66s %6.2f GB/s%s\n", key, bytes / median / 1e9,
                            std::string(key) == "BM_FrameLayerRead" ? "   (target >= 2.6)" : "");
            }
        }
        for (const std::string& failure : failed_) {
            std::printf("  failed: %s\n", failure.c_str());
        }
        std::fflush(stdout);
    }

private:
    static std::string Format(const char* format, const char* threads) {
        char text[128];
        std::snprintf(text, sizeof text, format, threads);
        return text;
    }

    double Median(const std::string& key) const {
        const auto found = seconds_.find(key);
        if (found == seconds_.end() || found->second.empty()) {
            return 0;
        }
        std::vector<double> values = found->second;
        std::sort(values.begin(), values.end());
        const size_t n = values.size();
        return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    }

    void Ratio(const std::string& label, const std::string& top, const std::string& bottom,
               const std::string& target) const {
        const double a = Median(top);
        const double b = Median(bottom);
        if (a > 0 && b > 0) {
            std::printf("  %-66s %6.3f%s\n", label.c_str(), a / b,
                        target.empty() ? "" : ("   (target " + target + ")").c_str());
        }
    }

    std::map<std::string, std::vector<double>> seconds_;
    std::vector<std::string> failed_;
};

}  // namespace

// Defaults for this program: 5 repetitions interleaved at random; flags on
// the command line come later and win.
int main(int argc, char** argv) {
    std::vector<char*> arguments = {argv[0]};
    std::string repetitions = "--benchmark_repetitions=5";
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    std::string reportAggregates = "--benchmark_report_aggregates_only=false";
    arguments.push_back(repetitions.data());
    arguments.push_back(interleave.data());
    arguments.push_back(reportAggregates.data());
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(argv[i]);
    }
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) {
        return 1;
    }
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
