// Shared pieces of the node tests: the real plug-in loaded through the host
// runtime, settings objects, scratch folders, the host log, and PDC files
// built and taken apart byte by byte, independently of the file layer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/core/Log.h"
#include "host/core/ObjectTable.h"
#include "host/runtime/NodeInstance.h"
#include "host/runtime/Plugin.h"

namespace VelpoTest {

// libVelpo, loaded once per process. Null (with a failed expectation) when
// it does not load.
std::shared_ptr<VelpoHost::CPlugin> Plugin();

// A settings object with "Path", "Step" and the given other parameters
// (attribute names by parameter name, e.g. {"Float3", "temperature"}).
// Without an ID, a new one.
uint32_t MakeSettings(const std::string& path, int32_t step,
                      const std::map<std::string, std::string>& names = {},
                      std::optional<uint32_t> id = std::nullopt);
// The 25 names "Float0".."Float9", "Long0".."Long4", "Vector0".."Vector9"
// mapped to distinct attribute names.
std::map<std::string, std::string> AllNames();

// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the test.
class CScratchFolder {
public:
    CScratchFolder();
    ~CScratchFolder();
    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    // Names of the files in the folder.
    std::vector<std::string> Files() const;

private:
    std::filesystem::path path_;
};

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Everything logged since the last call, with echoing to stderr turned off.
std::vector<VelpoHost::CLogEntry> TakeLog();

// A PDC file built by hand: big-endian header and records.
class CPdcBytes {
public:
    CPdcBytes& Header(int32_t particleCount, int32_t attributeCount);
    CPdcBytes& Int(int32_t value);
    CPdcBytes& Double(double value);
    CPdcBytes& Name(const std::string& name);  // length, then the bytes
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

// A PDC file taken apart: the header's counts and every record.
struct CRecord {
    std::string name;
    int32_t code = -1;
    std::vector<double> values;  // vectors as x, y, z runs
};
struct CParsedPdc {
    bool ok = false;
    int32_t particleCount = 0;
    int32_t attributeCount = 0;
    std::vector<CRecord> records;
    const CRecord* Find(const std::string& name) const;
};
CParsedPdc ParsePdc(const std::vector<uint8_t>& bytes);

// Outputs of one evaluation in their C++ types.
const std::vector<float>& Floats(const VelpoHost::CEvaluationResult& result, uint32_t port);
const std::vector<int32_t>& Longs(const VelpoHost::CEvaluationResult& result, uint32_t port);
const std::vector<XSI::MATH::CVector3f>& Vectors(const VelpoHost::CEvaluationResult& result,
                                                 uint32_t port);

// A result that ran cleanly: every callback OK, nothing left acquired, and
// every element of every output a callback acquired written.
bool Clean(const VelpoHost::CEvaluationResult& result);

// An output no callback acquired: every element still holds the runtime's
// fill pattern.
bool Untouched(const VelpoHost::CEvaluationResult& result, uint32_t port);

}  // namespace VelpoTest
