// The nodes at full size: one Export evaluation of 1,000,000 points with
// every attribute named and fed per point, written to its file, and one
// SetData evaluation reading it back into all 27 outputs; beside them the
// PDC layer alone writing and reading the same file, so the nodes' overhead
// shows as a ratio. The Export node's Evaluate is also timed on its own, at
// 1 and 2 threads, through a minimal context that does what the host does.
//
// Writes measure a new file per pass (the previous pass's file is removed
// outside the timing), as bench_pdc's writes do; reads measure a file that
// sits in the page cache.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
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
using XSI::MATH::CVector3f;

namespace {

constexpr uint32_t Points = 1000000;
constexpr uint32_t SubsetSize = 4096;

// The caches are about 400 MB each; none outlives the run.
std::string Folder() {
    static const VelpoTestSupport::CScratchFolder folder;
    return folder.Path().string();
}

// A settings object naming all 25 attributes, caching under `stem`.
uint32_t Settings(const std::string& stem) {
    return MakeSettings(Folder() + "/" + stem, 1, AllNames());
}

// The per-point inputs of every port of the Export node.
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

    // What every numbered port of `kind` is fed, and the size of one value.
    const void* Numbered(const CAttributeKind& kind, size_t& size) const {
        switch (kind.slotType) {
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
    CInput NumberedInput(const CAttributeKind& kind) const {
        switch (kind.slotType) {
            case PdcTypeFloat:
                return CInput::PerElement(floats);
            case PdcTypeLong:
                return CInput::PerElement(longs);
            default:
                return CInput::PerElement(vectors);
        }
    }
};

const CPointData& Data() {
    static const CPointData data;
    return data;
}

CNodeInstance ExportNode(uint32_t scop) {
    const CPointData& data = Data();
    CNodeInstance node(Plugin(), "VelpoExport");
    node.Connect(PortScop, CInput::Constant(static_cast<int32_t>(scop)));
    node.Connect(PortFrame, CInput::Constant(int32_t{1}));
    node.Connect(PortCount, CInput::Constant(static_cast<int32_t>(Points)));
    node.Connect(PortInPosition, CInput::PerElement(data.positions));
    node.Connect(PortId, CInput::PerElement(data.ids));
    for (const CAttributeKind& kind : AttributeKinds) {
        for (int32_t i = 0; i < kind.count; ++i) {
            node.Connect(kind.Port(i), data.NumberedInput(kind));
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

void Check(bool ok, benchmark::State& state, const char* what) {
    if (!ok) {
        state.SkipWithError(what);
    }
}

// A CPdc laid out as the nodes lay it out, every slot filled per particle
// with the values the Export benchmark feeds.
CPdc& FilledPdc() {
    static CPdc* pdc = [] {
        auto* made = new CPdc();
        const CPointData& data = Data();
        SetSettingsLayout(*made, AllNames());
        made->Resize(static_cast<int32_t>(Points));
        for (CAttribute& slot : made->attributes) {
            slot.isArray = slot.type != PdcTypeNone;
        }
        const auto vector = [](const CVector3f& v) {
            return XSI::MATH::CVector3(v.GetX(), v.GetY(), v.GetZ());
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

// Every write pass makes a new frame's file, as bench_pdc's do: replacing
// an existing file also frees the old one's pages, a cost of its own that
// would make the two programs disagree. The freeing stays out of the figure.
void RemoveUntimed(benchmark::State& state, const std::string& file) {
    state.PauseTiming();
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    state.ResumeTiming();
}

void SetBytes(benchmark::State& state, const std::string& file) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(std::filesystem::file_size(file)));
}

void BM_ExportNode(benchmark::State& state) {
    CNodeInstance node = ExportNode(Settings("export"));
    const uint32_t threads = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        RemoveUntimed(state, Folder() + "/export.1.pdc");
        const auto result = node.Evaluate(Options(threads));
        Check(result.status && result.unreleasedArrays == 0, state, "export failed");
    }
    for (const auto& entry : VelpoHost::CLog::Instance().Take()) {
        state.SkipWithError(entry.text.c_str());
    }
    SetBytes(state, Folder() + "/export.1.pdc");
}

void BM_PdcWrite(benchmark::State& state) {
    const CPdc& pdc = FilledPdc();
    const std::string file = Folder() + "/layer.1.pdc";
    for (auto _ : state) {
        RemoveUntimed(state, file);
        Check(WritePdcFile(file, pdc), state, "write failed");
    }
    SetBytes(state, file);
}

void BM_SetDataNode(benchmark::State& state) {
    {
        CNodeInstance writer = ExportNode(Settings("readback"));
        writer.Evaluate(Options(2));
    }
    CNodeInstance node(Plugin(), "VelpoSetData");
    node.Connect(PortScop, CInput::Constant(static_cast<int32_t>(Settings("readback"))));
    node.Connect(PortFrame, CInput::Constant(int32_t{1}));
    node.Connect(PortInPosition, CInput::PerElement(std::vector<CVector3f>(Points)));
    const uint32_t threads = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        const auto result = node.Evaluate(Options(threads));
        Check(result.status && result.outputs.size() == 27 &&
                  std::get<std::vector<int32_t>>(result.outputs.at(PortId)).back() ==
                      static_cast<int32_t>(Points - 1),
              state, "read failed");
    }
    Check(VelpoHost::CLog::Instance().Take().empty(), state, "read logged");
    SetBytes(state, Folder() + "/readback.1.pdc");
}

void BM_PdcRead(benchmark::State& state) {
    const std::string file = Folder() + "/layer.1.pdc";
    if (!std::filesystem::exists(file) && !WritePdcFile(file, FilledPdc())) {
        state.SkipWithError("cannot write the file to read");
        return;
    }
    for (auto _ : state) {
        auto pdc = std::make_unique<CPdc>();
        SetSettingsLayout(*pdc, AllNames());
        const bool ok = ReadPdcFile(file, *pdc);
        Check(ok && pdc->PositionCount() == static_cast<int32_t>(Points), state, "read failed");
    }
    SetBytes(state, file);
}

// The host's side of one Evaluate call over one subset, just enough of it
// to call the Export node's Evaluate without the runtime around it.
class CBenchContext final : public VelpoHost::CContextBackend {
public:
    CBenchContext(XSI::CValue* userData, uint32_t offset, uint32_t count,
                  std::vector<CVector3f>* output)
        : userData_(userData), offset_(offset), count_(count), output_(output) {}

    uint32_t EvaluatedOutputPortID() const override { return PortPosition; }
    uint32_t NumberOfElementsToProcess() const override { return Points; }
    XSI::CStatus PutNumberOfElementsToProcess(uint32_t) override { return XSI::CStatus::Fail; }
    XSI::CValue GetUserData() const override { return *userData_; }
    XSI::CStatus PutUserData(const XSI::CValue& value) override {
        *userData_ = value;
        return XSI::CStatus::OK;
    }
    XSI::CStatus AcquireInput(void** data, uint32_t* count, int32_t dataType, uint32_t,
                              uint32_t portID, uint32_t) override {
        const CPointData& points = Data();
        const void* base = nullptr;
        size_t size = 0;
        if (portID == PortInPosition) {
            base = points.positions.data();
            size = sizeof(CVector3f);
        } else if (portID == PortId) {
            base = points.ids.data();
            size = sizeof(int32_t);
        } else if (const CAttributeKind* kind = FindKindOfPort(portID)) {
            base = points.Numbered(*kind, size);
        } else {
            static int32_t single[3];
            single[0] = portID == PortScop ? scop : portID == PortCount ? Points : 1;
            *data = single;
            *count = 1;
            return XSI::CStatus::OK;
        }
        (void)dataType;
        *data = const_cast<char*>(static_cast<const char*>(base)) + offset_ * size;
        *count = count_;
        return XSI::CStatus::OK;
    }
    XSI::CStatus AcquireOutput(void** data, uint32_t* count, int32_t, uint32_t) override {
        *data = output_->data() + offset_;
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

    static inline int32_t scop = 0;

private:
    XSI::CValue* userData_;
    uint32_t offset_, count_;
    std::vector<CVector3f>* output_;
};

// Export's Evaluate alone: BeginEvaluate once before timing, then every
// subset's Evaluate on 1 or 2 threads per iteration, over the first
// state.range(1) points. A million points stream about 0.9 GB through memory
// per evaluation; a run small enough for the cache shows the loop itself.
void BM_ExportEvaluate(benchmark::State& state) {
    VelpoHost::CNodeCallbacks callbacks;
    if (!Plugin() || !Plugin()->Callbacks("VelpoExport", callbacks)) {
        state.SkipWithError("VelpoExport's callbacks are not exported");
        return;
    }
    CBenchContext::scop = static_cast<int32_t>(Settings("evaluate"));
    XSI::CValue userData;
    std::vector<CVector3f> output(Points);
    {
        CBenchContext backend(&userData, 0, Points, &output);
        XSI::ICENodeContext context(&backend);
        callbacks.begin(context);
    }
    const uint32_t threads = static_cast<uint32_t>(state.range(0));
    const uint32_t points = static_cast<uint32_t>(state.range(1));
    const uint32_t subsets = (points + SubsetSize - 1) / SubsetSize;
    // The runtime's own pool, made before timing, so that the figure at 2
    // threads is the subsets' work and not the start of threads.
    VelpoHost::CThreadPool& pool = VelpoHost::CThreadPool::Shared(threads);
    const std::function<void(uint32_t)> subset = [&](uint32_t s) {
        const uint32_t offset = s * SubsetSize;
        CBenchContext backend(&userData, offset, std::min(SubsetSize, points - offset), &output);
        XSI::ICENodeContext context(&backend);
        callbacks.evaluate(context);
    };
    for (auto _ : state) {
        if (threads == 1) {
            for (uint32_t s = 0; s < subsets; ++s) {
                subset(s);
            }
        } else {
            pool.Run(subsets, subset);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * points);
    // Let the node release its record; the file it writes is not timed.
    CBenchContext backend(&userData, 0, Points, &output);
    XSI::ICENodeContext context(&backend);
    callbacks.end(context);
}

}  // namespace

BENCHMARK(BM_PdcWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportNode)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PdcRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SetDataNode)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportEvaluate)
    ->Args({1, Points})
    ->Args({2, Points})
    ->Args({1, 32768})
    ->Args({2, 32768})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ExportNode)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
