// velpo._runtime: the plug-in loaded through the host runtime, as the
// `velpo export` and `velpo import` commands load it (tools/PluginSession),
// for velpo.Host. The checks of the tables and the documentation are in
// velpo/_host.py; this module binds arrays to ports and runs the nodes with
// the interpreter's lock released.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "host/core/Log.h"
#include "host/sdk/Enums.h"
#include "plugin/AttributeKinds.h"
#include "tools/common/Platform.h"
#include "tools/common/Settings.h"
#include "tools/session/PluginSession.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace VelpoPython {

namespace {

using VelpoHost::CInput;
using VelpoHost::CValues;
using XSI::MATH::CVector3f;

// The host's log and its settings objects are one per process: one
// evaluation at a time, whichever Host runs it. A call releases the
// interpreter's lock before it waits for its turn here, and gives its turn
// back before it takes the interpreter's lock again, so calls from several
// threads run one after another and never each hold what the other waits
// for. Python objects are made only outside the turn.
std::mutex evaluationMutex;

VelpoTools::CSettings Settings(const std::string& json) {
    VelpoTools::CSettings settings;
    if (const Velpo::CResult parsed = VelpoTools::ParseSettings("settings", json, settings);
        !parsed) {
        throw py::value_error(parsed.Message());
    }
    return settings;
}

// Text from the host and the file system: UTF-8 where it is, and any other
// bytes kept as Python keeps undecodable file names.
py::str Text(const std::string& text) {
    return py::reinterpret_steal<py::str>(PyUnicode_DecodeUTF8(
        text.data(), static_cast<py::ssize_t>(text.size()), "surrogateescape"));
}

py::list LogList(const std::vector<VelpoHost::CLogEntry>& log) {
    py::list entries;
    for (const VelpoHost::CLogEntry& entry : log) {
        const char* severity = entry.severity == XSI::siErrorMsg  ? "error"
                               : entry.severity == XSI::siInfoMsg ? "info"
                                                                  : "other";
        entries.append(py::make_tuple(severity, Text(entry.text)));
    }
    return entries;
}

template <class Number>
const Number* NumbersIn(const py::array& array, size_t count, const char* type) {
    const bool fits = array.dtype().is(py::dtype::of<Number>()) &&
                      (array.flags() & py::array::c_style) != 0 &&
                      static_cast<size_t>(array.size()) == count;
    if (!fits) {
        throw py::value_error("an input does not hold " + std::to_string(count) + " " + type +
                              " numbers in C order");
    }
    return static_cast<const Number*>(array.data());
}

// One port's values: int32 for Long, float32 for Float, three float32 per
// element for Vector3; one element when the input is constant.
CInput InputOf(int32_t dataType, const py::array& array, bool perElement, uint32_t count) {
    const size_t elements = perElement ? count : 1;
    CValues values;
    if (dataType == XSI::siICENodeDataLong) {
        const int32_t* numbers = NumbersIn<int32_t>(array, elements, "int32");
        values = std::vector<int32_t>(numbers, numbers + elements);
    } else if (dataType == XSI::siICENodeDataFloat) {
        const float* numbers = NumbersIn<float>(array, elements, "float32");
        values = std::vector<float>(numbers, numbers + elements);
    } else {
        const float* numbers = NumbersIn<float>(array, 3 * elements, "float32");
        std::vector<CVector3f> vectors(elements);
        for (size_t i = 0; i < elements; ++i) {
            vectors[i].Set(numbers[3 * i], numbers[3 * i + 1], numbers[3 * i + 2]);
        }
        values = std::move(vectors);
    }
    return CInput{std::move(values), perElement};
}

// The values a node gave, handed to NumPy without a copy.
py::array ArrayOf(CValues& values) {
    return std::visit(
        [](auto& run) -> py::array {
            using Run = std::decay_t<decltype(run)>;
            auto* kept = new Run(std::move(run));
            py::capsule owner(kept, [](void* held) { delete static_cast<Run*>(held); });
            const auto elements = static_cast<py::ssize_t>(kept->size());
            if constexpr (std::is_same_v<Run, std::vector<CVector3f>>) {
                static_assert(sizeof(CVector3f) == 3 * sizeof(float));
                return py::array_t<float>({elements, py::ssize_t{3}},
                                          reinterpret_cast<const float*>(kept->data()), owner);
            } else {
                using Number = typename Run::value_type;
                return py::array_t<Number>({elements}, kept->data(), owner);
            }
        },
        values);
}

// [(name, port, data type, parameter)] of the attributes the settings name,
// on VelpoExport's input ports or VelpoSetData's output ports.
py::list Columns(const VelpoTools::CSettings& settings, bool inputs) {
    py::list list;
    for (const VelpoTools::CNamedAttribute& attribute : VelpoTools::NamedAttributes(settings)) {
        list.append(
            py::make_tuple(attribute.name, inputs ? attribute.inputPort : attribute.outputPort,
                           FindKindOfSlotType(attribute.slotType)->dataType, attribute.parameter));
    }
    return list;
}

class CHost {
public:
    // The plug-in at `plugin`, or the reason it cannot be loaded.
    static py::object Open(const py::bytes& plugin) {
        const std::string path = plugin;
        std::unique_ptr<VelpoTools::CPluginSession> session;
        Velpo::CResult opened = Velpo::CResult::Ok();
        {
            py::gil_scoped_release released;
            std::lock_guard lock(evaluationMutex);
            opened = VelpoTools::CPluginSession::Open(path, session);
            VelpoHost::CLog::Instance().Take();  // what loading logged is not a frame's
        }
        if (!opened) {
            return Text(opened.Message());
        }
        return py::cast(CHost(std::move(session)));
    }

    py::str Path() const { return Text(session_->PluginPath()); }

    // (error or None, log)
    py::tuple Export(const std::string& settingsJson, int32_t frame, uint32_t count,
                     const py::list& bindings, uint32_t threads) {
        const VelpoTools::CSettings settings = Settings(settingsJson);
        std::vector<std::pair<uint32_t, CInput>> inputs;
        for (const py::handle binding : bindings) {
            const auto [port, dataType, array, perElement] =
                binding.cast<std::tuple<uint32_t, int32_t, py::array, bool>>();
            inputs.emplace_back(port, InputOf(dataType, array, perElement, count));
        }
        Velpo::CResult ran = Velpo::CResult::Ok();
        std::vector<VelpoHost::CLogEntry> log;
        {
            py::gil_scoped_release released;
            std::lock_guard lock(evaluationMutex);
            session_->UseSettings(settings);
            ran = session_->Export(frame, count, std::move(inputs), threads);
            log = VelpoHost::CLog::Instance().Take();
        }
        return py::make_tuple(ran ? py::object(py::none()) : py::object(Text(ran.Message())),
                              LogList(log));
    }

    // (error or None, element count, {port: array}, log)
    py::tuple Import(const std::string& settingsJson, int32_t frame,
                     const std::vector<uint32_t>& ports, uint32_t threads) {
        const VelpoTools::CSettings settings = Settings(settingsJson);
        VelpoTools::CImportedFrame imported;
        Velpo::CResult ran = Velpo::CResult::Ok();
        std::vector<VelpoHost::CLogEntry> log;
        {
            py::gil_scoped_release released;
            std::lock_guard lock(evaluationMutex);
            session_->UseSettings(settings);
            ran = session_->Import(frame, ports, threads, imported);
            log = VelpoHost::CLog::Instance().Take();
        }
        py::dict outputs;
        for (auto& [port, values] : imported.outputs) {
            outputs[py::int_(port)] = ArrayOf(values);
        }
        return py::make_tuple(ran ? py::object(py::none()) : py::object(Text(ran.Message())),
                              imported.count, outputs, LogList(log));
    }

private:
    explicit CHost(std::unique_ptr<VelpoTools::CPluginSession> session)
        : session_(std::move(session)) {}

    std::unique_ptr<VelpoTools::CPluginSession> session_;
};

}  // namespace

}  // namespace VelpoPython

PYBIND11_MODULE(_runtime, module) {
    using namespace VelpoPython;
    module.doc() = "The host runtime and the plug-in under velpo.Host.";
    module.attr("PLUGIN_FILE_NAME") = VelpoTools::PluginFileName();
    module.attr("DATA_LONG") = static_cast<int32_t>(XSI::siICENodeDataLong);
    module.attr("DATA_FLOAT") = static_cast<int32_t>(XSI::siICENodeDataFloat);
    module.attr("DATA_VECTOR3") = static_cast<int32_t>(XSI::siICENodeDataVector3);
    module.def(
        "export_columns", [](const std::string& json) { return Columns(Settings(json), true); },
        "settings"_a, "[(name, port, data type, parameter)] that VelpoExport takes.");
    module.def(
        "import_columns", [](const std::string& json) { return Columns(Settings(json), false); },
        "settings"_a, "[(name, port, data type, parameter)] that VelpoSetData gives.");
    py::class_<CHost>(module, "Host")
        .def_static("open", &CHost::Open, "plugin"_a,
                    "A Host over the plug-in at `plugin` (bytes), or why it cannot be loaded.")
        .def_property_readonly("path", &CHost::Path)
        .def("export", &CHost::Export, "settings"_a, "frame"_a, "count"_a, "inputs"_a, "threads"_a)
        .def("import_", &CHost::Import, "settings"_a, "frame"_a, "ports"_a, "threads"_a);
}
