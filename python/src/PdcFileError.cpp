#include "python/src/PdcFileError.h"

namespace py = pybind11;

namespace VelpoPython {

void RegisterPdcFileError() {
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const CPdcFileError& failure) {
            // The class lives in Python, so that scripts can subclass and
            // pickle it like any OSError.
            const py::object type = py::module_::import("velpo._errors").attr("PdcError");
            const py::object name =
                py::module_::import("os").attr("fsdecode")(py::bytes(failure.path));
            // A reason quotes record names, which may be any bytes.
            const py::object reason = py::reinterpret_steal<py::object>(PyUnicode_DecodeUTF8(
                failure.reason.data(), static_cast<py::ssize_t>(failure.reason.size()),
                "backslashreplace"));
            const py::object error =
                type(name, reason,
                     failure.error ? py::object(py::int_(failure.error)) : py::object(py::none()));
            PyErr_SetObject(type.ptr(), error.ptr());
        }
    });
}

}  // namespace VelpoPython
