"""velpo.Host: the plug-in's nodes run on one frame at a time, as the host runs
them, through the host runtime."""

from __future__ import annotations

import errno
import os
import warnings
from typing import Any, Dict, List, Mapping, NamedTuple, Optional, Tuple

import numpy as np

from velpo._arguments import INT32_MAX, INT32_MIN, PathArgument, integer
from velpo._errors import HostError, PluginError
from velpo import _files
from velpo._naming import _Namer, file_name, settings_text, warn_settings


class LogEntry(NamedTuple):
    """One message the host logged: severity "error" or "info", and the text.

    Example:
        >>> import velpo
        >>> try:
        ...     velpo.Host().import_({"Path": "missing/fluid"}, 1)
        ... except velpo.HostError as error:
        ...     print(error.log)
        [LogEntry(severity='error', text='VelpoImport: Cannot Read missing/fluid.1.pdc')]
    """

    severity: str
    text: str


class ImportedFrame(NamedTuple):
    """What ``Host.import_`` gives: the particle table and the host log.

    Example:
        >>> import numpy as np, velpo
        >>> velpo.write("fluid.1.pdc", {"id": np.arange(2.0), "position": np.zeros((2, 3))})
        >>> table, log = velpo.Host().import_({"Path": "fluid"}, 1)
        >>> list(table), log
        (['id', 'position'], [])
    """

    table: Dict[str, np.ndarray]
    log: List[LogEntry]


def _runtime() -> Any:
    # Imported on first use: it links the SDK's shared objects, which
    # reading and writing files never need.
    from velpo import _runtime as runtime

    return runtime


def _plugin_path(plugin: Optional[PathArgument]) -> str:
    if plugin is not None:
        try:
            return os.fsdecode(plugin)
        except TypeError:
            raise TypeError(
                f"velpo.Host: plugin must be a path (str or os.PathLike), not {type(plugin).__name__}"
            ) from None
    named = os.environ.get("VELPO_PLUGIN")
    if named:
        return named
    beside = os.path.join(os.path.dirname(os.path.abspath(__file__)), _runtime().PLUGIN_FILE_NAME)
    if not os.path.exists(beside):
        raise PluginError(
            beside,
            "no plug-in beside the velpo module; name one with velpo.Host(plugin=...) "
            "or the environment variable VELPO_PLUGIN",
            errno.ENOENT,
        )
    return beside


class Host:
    """The plug-in loaded through the host runtime, as ``velpo export`` and
    ``velpo import`` load it, to run its nodes on one frame at a time.

    ``plugin``: the plug-in library; by default the one named by the
    environment variable VELPO_PLUGIN, else the one installed beside the
    module. ``threads``: threads that evaluate the nodes, 0 for one per core.
    Each evaluation builds fresh node instances, as the host re-evaluating a
    graph at a new frame would. A plug-in that cannot be loaded raises
    PluginError naming the file and the reason.

    Threads: the host's log and settings objects are one per process, so
    the evaluations of all Hosts of a process run one at a time. A call from
    another thread waits for its turn with the interpreter's lock released
    (other Python threads run meanwhile) and then runs; calls of several
    threads, on one Host or on one each, run one after another.

    Example:
        >>> import numpy as np, velpo
        >>> host = velpo.Host()
        >>> settings = {"Path": "fluid", "Float0": "age"}
        >>> log = host.export(settings, 1, {"id": np.arange(2), "position": np.zeros((2, 3)),
        ...                                 "age": np.array([0.5, 1.5], dtype=np.float32)})
        >>> host.import_(settings, 1).table["age"]
        array([0.5, 1.5], dtype=float32)
    """

    def __init__(self, plugin: Optional[PathArgument] = None, threads: int = 0) -> None:
        path = _plugin_path(plugin)
        self._threads = integer(threads, "velpo.Host: threads", 0, 2**32 - 1)
        opened = _runtime().Host.open(os.fsencode(path))
        if isinstance(opened, str):
            # The runtime's message names the file first; the error names it apart.
            reason = opened[len(path) + 2 :] if opened.startswith(path + ": ") else opened
            missing = not os.path.lexists(path)
            raise PluginError(path, reason, errno.ENOENT if missing else None)
        self._host = opened

    @property
    def plugin(self) -> str:
        """The path of the plug-in library that was loaded.

        Example:
            >>> import velpo
            >>> velpo.Host().plugin.endswith(".so")
            True
        """
        return str(self._host.path)

    def export(
        self,
        settings: Any,
        frame: int,
        table: Mapping[str, Any],
        particle_count: Optional[int] = None,
        sync: bool = False,
    ) -> List[LogEntry]:
        """Runs VelpoExport on one frame, as ``velpo export`` does with one
        table: the cache file of ``frame`` under the settings is written
        (``velpo.file_name(settings["Path"], frame, settings["Step"])``).

        ``settings``: a mapping of the settings object's parameters ("Path",
        "Step", "Float0" ... "Vector9") or the path of such a JSON file.
        ``table`` maps column names to values: "id" (integers), "position"
        (N, 3), and one column per attribute the settings name: (N,) for a
        Float or Long parameter, (N, 3) for a Vector one. A number, or a
        (3,) vector, is one value for every particle, as a constant port is
        fed; ``particle_count`` then gives N when no column has one value
        per particle. Values are converted to the ports' types: float32, and
        int32 for integers, which must be whole and fit 32 bits. Columns
        that the settings do not name are not exported (a warning says so).

        A missing folder of the cache file is made first (a warning says
        so). The node writes the file beside its name and renames it when
        whole, so a killed process leaves the earlier file or the new one;
        ``sync=True`` flushes the new file and its folder to the disk before
        returning, so that it also survives a power failure from then on.

        Returns the host log of the frame. Raises HostError, carrying the
        log, when the node logs an error (for a file it cannot write, with
        the system's reason after the node's message, where it can be
        found), and ValueError or TypeError naming the column when the table
        does not fit the settings. Warns (SettingsWarning) where ``velpo
        export`` warns: two parameters that name one attribute, a "Path"
        that the naming cuts inside a folder name; and when frame * "Step"
        wraps around 2**32.

        Example:
            >>> import numpy as np, velpo
            >>> host = velpo.Host()
            >>> host.export({"Path": "fluid"}, 7,
            ...             {"id": [1, 2], "position": np.ones((2, 3))})
            []
            >>> velpo.read("fluid.7.pdc")["position"].shape
            (2, 3)
        """
        source, text = settings_text(settings, "velpo.Host.export")
        number = integer(frame, "velpo.Host.export: frame", INT32_MIN, INT32_MAX)
        if not isinstance(sync, bool):
            raise TypeError(f"velpo.Host.export: sync must be True or False, not {sync!r}")
        warn_settings("velpo.Host.export", source, text, stacklevel=2)
        path, step = _files.parse_settings(source, text)[:2]
        namer = _Namer("velpo.Host.export", path.encode("utf-8", "surrogateescape"), step, source)
        namer.warn_folder_cut(number)
        namer.warn_wrap(number, number, namer.name(number))
        if not isinstance(table, Mapping):
            raise TypeError(
                f"velpo.Host.export: table must be a mapping of column names to values, "
                f"not {type(table).__name__}"
            )
        runtime = _runtime()
        columns = runtime.export_columns(text)
        converted = []
        for name, port, data_type, parameter in columns:
            if name not in table:
                raise ValueError(
                    f"velpo.Host.export: table: no column {name!r}"
                    + (f" for the parameter {parameter!r}" if parameter else "")
                )
            converted.append((name, port, data_type, _port_values(name, table[name], data_type, runtime)))
        count = _element_count(converted, particle_count)
        named = {name for name, _, _, _ in columns}
        for name in table:
            if name not in named:
                warnings.warn(
                    f"velpo.Host.export: column {name!r} is named by no parameter of the "
                    f"settings and is not exported",
                    stacklevel=2,
                )
        inputs = [
            (port, data_type, values, per_element)
            for _, port, data_type, (values, per_element) in converted
        ]
        cache = namer.name(number)
        _make_folder(cache)
        error, log = self._host.export(text, number, count, inputs, self._threads)
        try:
            entries = _checked(error, log, "")
        except HostError as failure:
            problem = _files.write_problem(os.fsencode(cache), _cache_bytes(converted, count, runtime))
            if problem is None:
                raise
            raise HostError(f"{failure} ({problem})", failure.log) from None
        if sync:
            _files.flush(os.fsencode(cache))
        return entries

    def import_(self, settings: Any, frame: int) -> ImportedFrame:
        """Runs VelpoImport and VelpoSetData on one frame, as ``velpo
        import`` does: the frame's cache file is read through the nodes.

        ``settings`` as for ``export``. Returns the table, with the columns
        "id" (int32), "position" (float32, (N, 3)) and one per attribute the
        settings name (float32 (N,) for Float, int32 (N,) for Long, float32
        (N, 3) for Vector), N being the particle count VelpoImport gave; and
        the host log. A name that two parameters share gives one column,
        the first parameter's. Raises HostError, carrying the log, when a
        node logs an error (a missing or broken cache file).

        Example:
            >>> import numpy as np, velpo
            >>> velpo.write("fluid.3.pdc", {"id": [5.0], "position": np.ones((1, 3))})
            >>> frame = velpo.Host().import_({"Path": "fluid"}, 3)
            >>> frame.table["id"], frame.log
            (array([5], dtype=int32), [])
        """
        source, text = settings_text(settings, "velpo.Host.import_")
        number = integer(frame, "velpo.Host.import_: frame", INT32_MIN, INT32_MAX)
        warn_settings("velpo.Host.import_", source, text, stacklevel=2)
        runtime = _runtime()
        columns = runtime.import_columns(text)
        ports = [port for _, port, _, _ in columns]
        error, count, outputs, log = self._host.import_(text, number, ports, self._threads)
        path, step = _files.parse_settings(source, text)[:2]
        cache = file_name(path, number, step)
        entries = _checked(error, log, cache)
        table: Dict[str, np.ndarray] = {}
        for name, port, data_type, _ in columns:
            values = outputs.get(port)
            if count == 0:
                values = _empty(data_type, runtime)
            elif values is None or len(values) != count:
                raise HostError(f"{cache}: VelpoSetData gave no values for {name!r}", entries)
            table.setdefault(name, values)
        return ImportedFrame(table, entries)


def _make_folder(cache: str) -> None:
    """The cache's folder, made when missing: the node writes into it."""
    folder = os.path.dirname(cache)
    if folder and not os.path.isdir(folder):
        os.makedirs(folder, exist_ok=True)
        warnings.warn(f"velpo.Host.export: made the folder {folder} for the caches", stacklevel=3)


def _cache_bytes(converted: List[Tuple[str, int, int, Tuple[np.ndarray, bool]]], count: int, runtime: Any) -> int:
    """The size of the cache as the node writes it, for the room it needs."""
    header, record = 28, 8
    return header + sum(
        record + len(name.encode()) + count * (24 if data_type == runtime.DATA_VECTOR3 else 8)
        for name, _, data_type, _ in converted
    )


def _checked(error: Optional[str], log: List[Tuple[str, str]], cache: str) -> List[LogEntry]:
    entries = [LogEntry(severity, text) for severity, text in log]
    if error is not None:
        raise HostError(f"{cache}: {error}" if cache else error, entries)
    for entry in entries:
        if entry.severity == "error":
            raise HostError(entry.text, entries)
    return entries


def _empty(data_type: int, runtime: Any) -> np.ndarray:
    if data_type == runtime.DATA_LONG:
        return np.zeros(0, dtype=np.int32)
    if data_type == runtime.DATA_FLOAT:
        return np.zeros(0, dtype=np.float32)
    return np.zeros((0, 3), dtype=np.float32)


def _port_values(name: str, value: Any, data_type: int, runtime: Any) -> Tuple[np.ndarray, bool]:
    """The column as the port takes it: (contiguous values, per element)."""
    where = f"velpo.Host.export: column {name!r}"
    try:
        array = np.asarray(value)
    except (ValueError, TypeError) as error:
        raise ValueError(f"{where} is not an array of numbers: {error}") from None
    if array.dtype.kind not in "iuf":
        raise TypeError(f"{where} holds {array.dtype} values, not numbers")
    vector = data_type == runtime.DATA_VECTOR3
    if vector:
        if array.shape not in ((3,),) and not (array.ndim == 2 and array.shape[1] == 3):
            raise ValueError(f"{where} is a vector: its shape must be (N, 3) or (3,), not {array.shape}")
        per_element = array.ndim == 2
    else:
        if array.ndim > 1:
            raise ValueError(f"{where} holds one number per particle: its shape must be (N,) or (), not {array.shape}")
        per_element = array.ndim == 1
    if data_type == runtime.DATA_LONG:
        return _as_int32(where, array), per_element
    return _as_float32(where, array), per_element


def _as_int32(where: str, array: np.ndarray) -> np.ndarray:
    if array.size:
        if array.dtype.kind == "f":
            whole = np.isfinite(array) & (np.trunc(array) == array)
            if not whole.all():
                raise ValueError(f"{where} holds {array[~whole].flat[0]!r}, which is not a whole number")
        low, high = array.min(), array.max()
        if low < INT32_MIN or high > INT32_MAX:
            raise ValueError(f"{where} holds {low if low < INT32_MIN else high!r}, beyond 32 bits")
    return np.ascontiguousarray(array, dtype=np.int32)


def _as_float32(where: str, array: np.ndarray) -> np.ndarray:
    with np.errstate(over="ignore"):
        narrowed = np.ascontiguousarray(array, dtype=np.float32)
    overflow = np.isinf(narrowed) & np.isfinite(array)
    if overflow.any():
        raise ValueError(f"{where} holds {array[overflow].flat[0]!r}, beyond the range of a float")
    return narrowed


def _element_count(converted: List[Tuple[str, int, int, Tuple[np.ndarray, bool]]], particle_count: Optional[int]) -> int:
    lengths = [(name, len(values)) for name, _, _, (values, per_element) in converted if per_element]
    if particle_count is not None:
        count = integer(particle_count, "velpo.Host.export: particle_count", 0, INT32_MAX)
    elif lengths:
        count = lengths[0][1]
    else:
        raise ValueError(
            "velpo.Host.export: every column is one value for all particles; "
            "give particle_count"
        )
    for name, length in lengths:
        if length != count:
            raise ValueError(
                f"velpo.Host.export: column {name!r} holds {length} particles, but "
                + ("particle_count gives" if particle_count is not None else f"{lengths[0][0]!r} holds")
                + f" {count}"
            )
    return count
