#include "tests/nodes/NodeTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

namespace VelpoTest {

std::shared_ptr<VelpoHost::CPlugin> Plugin() {
    static std::shared_ptr<VelpoHost::CPlugin> plugin = [] {
        VelpoHost::CLog::Instance().SetEcho(false);
        std::shared_ptr<VelpoHost::CPlugin> loaded;
        (void)VelpoHost::CPlugin::Load(VELPO_PLUGIN_PATH, loaded);
        VelpoHost::CLog::Instance().Clear();
        return loaded;
    }();
    EXPECT_NE(plugin, nullptr) << "libVelpo did not load";
    return plugin;
}

uint32_t MakeSettings(const std::string& path, int32_t step,
                      const std::map<std::string, std::string>& names, std::optional<uint32_t> id) {
    VelpoHost::CObjectTable& table = VelpoHost::CObjectTable::Instance();
    const uint32_t created = table.Create(id);
    auto object = table.Find(created);
    object->SetParameter("Path", XSI::CValue(XSI::CString::FromUtf8(path)));
    object->SetParameter("Step", XSI::CValue(step));
    for (const auto& [parameter, name] : names) {
        object->SetParameter(parameter, XSI::CValue(XSI::CString::FromUtf8(name)));
    }
    return created;
}

std::map<std::string, std::string> AllNames() {
    std::map<std::string, std::string> names;
    for (int i = 0; i < 10; ++i) {
        names["Float" + std::to_string(i)] = "float" + std::to_string(i);
        names["Vector" + std::to_string(i)] = "vector" + std::to_string(i);
    }
    for (int i = 0; i < 5; ++i) {
        names["Long" + std::to_string(i)] = "long" + std::to_string(i);
    }
    return names;
}

CScratchFolder::CScratchFolder() {
    static std::atomic<uint32_t> counter{0};
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("velpo-nodes-" + std::to_string(random()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

CScratchFolder::~CScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> CScratchFolder::Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<VelpoHost::CLogEntry> TakeLog() {
    VelpoHost::CLog::Instance().SetEcho(false);
    return VelpoHost::CLog::Instance().Take();
}

namespace {

void PutBigEndian(std::vector<uint8_t>& bytes, uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

}  // namespace

CPdcBytes& CPdcBytes::Header(int32_t particleCount, int32_t attributeCount) {
    for (char c : std::string("PDC ")) {
        bytes_.push_back(static_cast<uint8_t>(c));
    }
    Int(1).Int(1).Int(0).Int(0).Int(particleCount).Int(attributeCount);
    return *this;
}

CPdcBytes& CPdcBytes::Int(int32_t value) {
    PutBigEndian(bytes_, static_cast<uint32_t>(value), 4);
    return *this;
}

CPdcBytes& CPdcBytes::Double(double value) {
    PutBigEndian(bytes_, std::bit_cast<uint64_t>(value), 8);
    return *this;
}

CPdcBytes& CPdcBytes::Name(const std::string& name) {
    Int(static_cast<int32_t>(name.size()));
    bytes_.insert(bytes_.end(), name.begin(), name.end());
    return *this;
}

const CRecord* CParsedPdc::Find(const std::string& name) const {
    for (const CRecord& record : records) {
        if (record.name == name) {
            return &record;
        }
    }
    return nullptr;
}

CParsedPdc ParsePdc(const std::vector<uint8_t>& bytes) {
    CParsedPdc parsed;
    size_t at = 0;
    auto take = [&](int width, uint64_t& value) {
        if (bytes.size() - at < static_cast<size_t>(width)) {
            return false;
        }
        value = 0;
        for (int i = 0; i < width; ++i) {
            value = (value << 8) | bytes[at++];
        }
        return true;
    };
    auto takeInt = [&](int32_t& value) {
        uint64_t raw = 0;
        const bool ok = take(4, raw);
        value = static_cast<int32_t>(static_cast<uint32_t>(raw));
        return ok;
    };
    if (bytes.size() < 28) {
        return parsed;
    }
    at = 20;
    takeInt(parsed.particleCount);
    takeInt(parsed.attributeCount);
    for (int32_t r = 0; r < parsed.attributeCount; ++r) {
        CRecord record;
        int32_t length = 0;
        if (!takeInt(length) || length < 0 || bytes.size() - at < static_cast<size_t>(length)) {
            return parsed;
        }
        record.name.assign(reinterpret_cast<const char*>(bytes.data() + at),
                           static_cast<size_t>(length));
        at += static_cast<size_t>(length);
        if (!takeInt(record.code) || record.code < 2 || record.code > 5) {
            return parsed;
        }
        const size_t perValue = record.code >= 4 ? 3 : 1;
        const size_t count =
            (record.code == 3 || record.code == 5) ? static_cast<size_t>(parsed.particleCount) : 1;
        for (size_t i = 0; i < count * perValue; ++i) {
            uint64_t raw = 0;
            if (!take(8, raw)) {
                return parsed;
            }
            record.values.push_back(std::bit_cast<double>(raw));
        }
        parsed.records.push_back(std::move(record));
    }
    parsed.ok = at == bytes.size();
    return parsed;
}

const std::vector<float>& Floats(const VelpoHost::CEvaluationResult& result, uint32_t port) {
    return std::get<std::vector<float>>(result.outputs.at(port));
}

const std::vector<int32_t>& Longs(const VelpoHost::CEvaluationResult& result, uint32_t port) {
    return std::get<std::vector<int32_t>>(result.outputs.at(port));
}

const std::vector<XSI::MATH::CVector3f>& Vectors(const VelpoHost::CEvaluationResult& result,
                                                 uint32_t port) {
    return std::get<std::vector<XSI::MATH::CVector3f>>(result.outputs.at(port));
}

bool Clean(const VelpoHost::CEvaluationResult& result) {
    for (uint32_t port : result.acquiredOutputs) {
        const auto values = result.outputs.find(port);
        if (values != result.outputs.end() && VelpoHost::UnwrittenCount(values->second) != 0) {
            return false;
        }
    }
    return result.status && result.failedCallbacks == 0 && result.unreleasedArrays == 0 &&
           result.unreleasedIndexSets == 0;
}

bool Untouched(const VelpoHost::CEvaluationResult& result, uint32_t port) {
    const auto values = result.outputs.find(port);
    return values != result.outputs.end() && result.acquiredOutputs.count(port) == 0 &&
           VelpoHost::UnwrittenCount(values->second) ==
               std::visit([](const auto& items) { return items.size(); }, values->second);
}

}  // namespace VelpoTest
