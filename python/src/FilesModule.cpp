// velpo._files: the file layer for the Python package. The public functions,
// their checks and their documentation are in velpo/*.py; this module moves
// the bytes, with the interpreter's lock released while it does.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "pdc/SafeWrite.h"
#include "python/src/CacheReader.h"
#include "python/src/CacheWriter.h"
#include "python/src/NamingBindings.h"
#include "python/src/PdcFileError.h"
#include "tools/common/Numbers.h"
#include "tools/common/Settings.h"
#include "tools/contents/FileReport.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace VelpoPython {

namespace {

// An array over a buffer it now owns; NumPy frees it with the array.
template <class Number, class Word>
py::array Adopt(CNumbers<Word>& words, std::vector<py::ssize_t> shape) {
    static_assert(sizeof(Number) == sizeof(Word));
    Word* raw = words.release();
    py::capsule owner(raw, [](void* buffer) { std::free(buffer); });
    return py::array_t<Number>(std::move(shape), reinterpret_cast<Number*>(raw), owner);
}

py::array ArrayOf(CReadRecord& record) {
    std::vector<py::ssize_t> shape;
    if (record.IsArray()) {
        shape.push_back(static_cast<py::ssize_t>(record.count));
    }
    if (record.Components() == 3) {
        shape.push_back(3);
    }
    if (record.integers) {
        return Adopt<int32_t>(record.integers, std::move(shape));
    }
    return Adopt<double>(record.doubles, std::move(shape));
}

// (header, [(name, code, array, delivered)], [missing wanted names])
py::tuple Read(const py::bytes& path, const std::optional<std::vector<py::bytes>>& wanted) {
    const std::string file = path;
    std::vector<std::string> names;
    if (wanted) {
        for (const py::bytes& name : *wanted) {
            names.emplace_back(name);
        }
    }
    CReadCache cache;
    CReadFailure failure;
    bool read;
    {
        py::gil_scoped_release released;
        read = ReadCache(file, wanted ? &names : nullptr, cache, failure);
    }
    if (!read) {
        throw CPdcFileError{file, failure.reason, failure.error};
    }
    const PdcHeader& h = cache.header;
    const py::tuple header =
        py::make_tuple(py::bytes(h.format, sizeof h.format), h.version, h.byteOrder, h.reserved1,
                       h.reserved2, h.particleCount, h.attributeCount);
    py::list records;
    for (CReadRecord& record : cache.records) {
        records.append(
            py::make_tuple(py::bytes(record.name), record.code, ArrayOf(record), record.delivered));
    }
    py::list missing;
    for (const std::string& name : cache.missing) {
        missing.append(py::bytes(name));
    }
    return py::make_tuple(header, records, missing);
}

// The numbers a record of `code` holds under `particleCount`.
size_t NumbersOf(int32_t code, int32_t particleCount) {
    const size_t count = PdcCodeIsArray(code) ? static_cast<size_t>(particleCount) : 1;
    return static_cast<size_t>(PdcCodeComponents(code)) * count;
}

template <class Number>
bool Holds(const py::array& array) {
    return array.dtype().is(py::dtype::of<Number>()) && (array.flags() & py::array::c_style) != 0 &&
           (array.flags() & py::detail::npy_api::NPY_ARRAY_ALIGNED_) != 0;
}

void Write(const py::bytes& path, int64_t particleCount, const py::list& items, bool sync) {
    const std::string file = path;
    if (particleCount < 0 || particleCount > std::numeric_limits<int32_t>::max()) {
        throw py::value_error("particle count " + std::to_string(particleCount) +
                              " is outside 0 ... 2147483647");
    }
    const auto particles = static_cast<int32_t>(particleCount);
    std::vector<py::array> arrays;  // held, so the buffers outlive the write
    std::vector<CWriteRecord> records;
    for (const py::handle item : items) {
        const auto [name, code, array] = item.cast<std::tuple<py::bytes, int32_t, py::array>>();
        CWriteRecord& record = records.emplace_back();
        record.name = std::string(name);
        record.code = code;
        record.numbers = NumbersOf(code, particles);
        const bool integers = PdcCodeIsInteger(code);
        const bool fits = code >= PdcCodeInteger && code <= PdcCodeVectorArray &&
                          static_cast<size_t>(array.size()) == record.numbers &&
                          (integers ? Holds<int32_t>(array) : Holds<double>(array));
        if (!fits) {
            throw py::value_error("record \"" + record.name + "\" does not hold " +
                                  std::to_string(record.numbers) + " aligned native " +
                                  (integers ? "int32" : "float64") +
                                  " numbers in C order for code " + std::to_string(code));
        }
        if (integers) {
            record.integers = static_cast<const int32_t*>(array.data());
        } else {
            record.doubles = static_cast<const double*>(array.data());
        }
        arrays.push_back(array);
    }
    std::string reason;
    bool written;
    {
        py::gil_scoped_release released;
        written = WriteCache(file, particles, records, reason,
                             sync ? CDurability::Disk : CDurability::Process);
    }
    if (!written) {
        throw CPdcFileError{file, reason, 0};
    }
}

// Why a write of `path` would fail, as far as it can be found without
// writing; None when nothing is found.
std::optional<std::string> WriteProblem(const py::bytes& path, uint64_t bytes) {
    const std::string file = path;
    std::string reason;
    bool fine = false;
    {
        py::gil_scoped_release released;
        fine = ProbeSafeWrite(file, bytes, reason);
    }
    return fine ? std::nullopt : std::optional<std::string>(reason);
}

void Flush(const py::bytes& path) {
    const std::string file = path;
    std::string reason;
    bool flushed = false;
    {
        py::gil_scoped_release released;
        flushed = FlushFileToDisk(file, reason);
    }
    if (!flushed) {
        throw CPdcFileError{file, reason, 0};
    }
}

py::tuple ParseSettings(const std::string& source, const std::string& text) {
    VelpoTools::CSettings settings;
    if (const Velpo::CResult parsed = VelpoTools::ParseSettings(source, text, settings); !parsed) {
        throw py::value_error(parsed.Message());
    }
    return py::make_tuple(settings.path, settings.step, settings.floatNames, settings.longNames,
                          settings.vectorNames);
}

// What `velpo info --json` prints for the file, as JSON text: the same
// inspection, so the two never differ.
std::string InfoJson(const py::bytes& path) {
    const std::string name = path;
    nlohmann::ordered_json json;
    {
        py::gil_scoped_release released;
        json = VelpoTools::InspectionJson(VelpoTools::InspectPdc(std::filesystem::path(name)));
    }
    return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

}  // namespace VelpoPython

PYBIND11_MODULE(_files, module) {
    using namespace VelpoPython;
    module.doc() = "The PDC file layer under velpo.read and velpo.write.";
    RegisterPdcFileError();
    module.def("read", &Read, "path"_a, "wanted"_a,
               "(header, [(name, code, array, delivered)], [missing]) of the file at `path` "
               "(bytes); `wanted`: names (bytes) to read, None for all.");
    module.def(
        "name_key", [](const py::bytes& name) { return py::bytes(NameKey(std::string(name))); },
        "name"_a, "The name (bytes) as the nodes compare names (bytes).");
    module.def("write", &Write, "path"_a, "particle_count"_a, "records"_a, "sync"_a = false,
               "Writes [(name, code, array)] beside `path` and renames it into place; with "
               "`sync`, flushed to the disk first.");
    module.def("write_problem", &WriteProblem, "path"_a, "bytes"_a,
               "Why writing `bytes` to `path` would fail, found without writing; None when "
               "nothing is found.");
    module.def("flush", &Flush, "path"_a,
               "Flushes the written file at `path` and its folder to the disk.");
    module.def("parse_settings", &ParseSettings, "source"_a, "text"_a,
               "(Path, Step, Float names, Long names, Vector names) of settings JSON text.");
    module.def("info_json", &InfoJson, "path"_a,
               "What `velpo info --json` prints for the file at `path` (bytes).");
    AddNaming(module);
}
