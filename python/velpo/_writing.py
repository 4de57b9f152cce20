"""velpo.write."""

from __future__ import annotations

from collections.abc import Iterable, Mapping
from typing import Any, Collection, List, Optional, Tuple

import numpy as np

from velpo import _files
from velpo._arguments import INT32_MAX, INT32_MIN, PathArgument, integer, name_bytes, path_bytes
from velpo._reading import Cache

_FUNCTION = "velpo.write"
# Every integer of this size and below is a double exactly.
_EXACT_DOUBLE_INTEGER = 2**53


def write(
    path: PathArgument,
    data: Mapping[str, Any],
    particle_count: Optional[int] = None,
    integers: str = "double",
    singles: Collection[str] = (),
    sync: bool = False,
) -> None:
    """Writes a PDC cache file from NumPy arrays and numbers.

    ``data`` maps each record's name to its values, written in that order:

    - shape (N,): one number per particle; (N, 3): one vector per particle;
    - a number or a 0-d array: one number for all particles;
    - a name in ``singles`` with a value of shape (3,): one vector for all
      particles.

    ``particle_count`` defaults to the length of the per-particle values,
    which must all agree. By default the file is written as the nodes write
    it: codes 2 to 5, integers as doubles. ``integers="int32"`` writes
    integer numbers that fit 32 bits as int32 records (codes 0 and 1),
    which every reader of the format here takes; integer vectors are then
    written too, as doubles (codes 4 and 5: the format has no integer
    vectors). Values that cannot be written exactly (float128, complex,
    bool, integers beyond 2**53 as doubles) are refused with TypeError or
    ValueError naming the record.

    A Cache from ``read`` is written as it was read: every record in
    ``records()`` order (those another record of the same name hides
    included), each with its own type code, so ``write(p, read(q))`` gives
    back the records of ``q``; ``integers`` does not change those codes,
    and ``particle_count`` defaults to its header's.

    The file is written beside ``path`` and renamed over it when whole, as
    the Export node writes, so a reader never sees a part of it and a failed
    write (PdcError) leaves the earlier file as it was, even when the
    process is killed. ``sync=True`` also flushes the file to the disk
    before the rename and the folder after it, so that once ``write``
    returns the file survives a power failure too (it costs the time to put
    the data on the disk). The interpreter's lock is released while the
    file is written.

    Example:
        >>> import numpy as np, velpo
        >>> velpo.write("fluid.1.pdc", {
        ...     "id": np.arange(3),
        ...     "position": np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0]], dtype=float),
        ...     "age": np.array([0.1, 0.2, 0.3]),
        ...     "drag": 0.25})
        >>> velpo.read("fluid.1.pdc")["id"]
        array([0., 1., 2.])
    """
    target = path_bytes(path, _FUNCTION)
    if not isinstance(sync, bool):
        raise TypeError(f"{_FUNCTION}: sync must be True or False, not {sync!r}")
    if integers not in ("double", "int32"):
        raise ValueError(f"{_FUNCTION}: integers must be 'double' or 'int32', not {integers!r}")
    if not isinstance(data, Mapping):
        raise TypeError(f"{_FUNCTION}: data must be a mapping of names to values, not {type(data).__name__}")
    if isinstance(singles, (str, bytes)) or not isinstance(singles, Iterable):
        raise TypeError(f"{_FUNCTION}: singles must be a collection of names, such as {{'wind'}}")
    if isinstance(data, Cache):
        arrays = {name for name in set(singles) if name not in data or data.is_array(name)}
        if arrays:
            raise ValueError(
                f"{_FUNCTION}: singles names {sorted(arrays)}, which the Cache does not hold as "
                "single values; a Cache is written with the type code of each record"
            )
        count = max(data.particle_count, 0) if particle_count is None else particle_count
        _files.write(target, *_cache_records(data, count))
        return
    single_names = set(singles)
    unknown = single_names - set(data)
    if unknown:
        raise ValueError(f"{_FUNCTION}: singles names {sorted(unknown)}, which data does not hold")

    values: List[Tuple[str, np.ndarray]] = [(name, _numbers(name, value)) for name, value in data.items()]
    count = _particle_count(values, single_names, particle_count)
    records = [
        (name_bytes(name, _FUNCTION), *_record(name, array, name in single_names, count, integers))
        for name, array in values
    ]
    _files.write(target, count, records, sync)


def _numbers(name: str, value: Any) -> np.ndarray:
    name_bytes(name, _FUNCTION)
    try:
        array = np.asarray(value)
    except (ValueError, TypeError) as error:
        raise ValueError(f"{_FUNCTION}: {name!r} is not an array of numbers: {error}") from None
    kind = array.dtype.kind
    if kind == "f" and array.dtype.itemsize > 8:
        raise TypeError(
            f"{_FUNCTION}: {name!r} is {array.dtype}, which float64 cannot hold exactly; "
            "convert it with astype(numpy.float64) if rounding is meant"
        )
    if kind not in "iuf":
        raise TypeError(
            f"{_FUNCTION}: {name!r} holds {array.dtype} values; a record holds numbers "
            "(integers or floats of at most 64 bits)"
        )
    return array


def _particle_count(
    values: List[Tuple[str, np.ndarray]], singles: set, particle_count: Optional[int]
) -> int:
    lengths = [(name, array.shape[0]) for name, array in values if array.ndim > 0 and name not in singles]
    if particle_count is not None:
        count = integer(particle_count, f"{_FUNCTION}: particle_count", 0, INT32_MAX)
    elif lengths:
        count = lengths[0][1]
    else:
        return 0
    for name, length in lengths:
        if length != count:
            source = "particle_count" if particle_count is not None else repr(lengths[0][0])
            three = name if length == 3 else lengths[0][0] if count == 3 and particle_count is None else None
            raise ValueError(
                f"{_FUNCTION}: {name!r} holds {length} particles, but {source} gives {count}"
                + (f"; to write {three!r} as one vector for all particles, name it in singles=" if three else "")
            )
    if count > INT32_MAX:
        raise ValueError(f"{_FUNCTION}: {count} particles, more than a file can count ({INT32_MAX})")
    return count


def _record(name: str, array: np.ndarray, single: bool, count: int, integers: str) -> Tuple[int, np.ndarray]:
    if single or array.ndim == 0:
        if array.shape == ():
            vector = False
        elif array.shape == (3,):
            vector = True
        else:
            raise ValueError(
                f"{_FUNCTION}: {name!r} is one value for all particles, so its shape must be () "
                f"or (3,), not {array.shape}"
            )
        per_particle = False
    elif array.ndim == 1:
        vector, per_particle = False, True
    elif array.ndim == 2 and array.shape[1] == 3:
        vector, per_particle = True, True
    else:
        raise ValueError(
            f"{_FUNCTION}: {name!r} has shape {array.shape}; a record is (N,) numbers or "
            "(N, 3) vectors, or one number or one (3,) vector for all particles"
        )
    if integers == "int32" and not vector and array.dtype.kind in "iu":
        _check_range(name, array, INT32_MIN, INT32_MAX, "int32")
        return (1 if per_particle else 0), np.ascontiguousarray(array, dtype=np.int32)
    if array.dtype.kind in "iu" and array.dtype.itemsize > 4:
        _check_range(name, array, -_EXACT_DOUBLE_INTEGER, _EXACT_DOUBLE_INTEGER, "a double exactly")
    code = (5 if per_particle else 4) if vector else (3 if per_particle else 2)
    return code, np.ascontiguousarray(array, dtype=np.float64)


def _check_range(name: str, array: np.ndarray, low: int, high: int, target: str) -> None:
    if array.size == 0:
        return
    smallest, largest = int(array.min()), int(array.max())
    for value in (smallest, largest):
        if not low <= value <= high:
            raise ValueError(f"{_FUNCTION}: {name!r} holds {value}, which cannot be written as {target}")


def _cache_records(cache: Cache, particle_count: Any) -> Tuple[int, List[Tuple[bytes, int, np.ndarray]]]:
    """(particle count, records) of a Cache, each record under its own code."""
    count = integer(particle_count, f"{_FUNCTION}: particle_count", 0, INT32_MAX)
    records = []
    for record in cache.records():
        array = record.values
        shape = ((count,) if record.code % 2 == 1 else ()) + ((3,) if record.code >= 4 else ())
        if array.shape != shape:
            raise ValueError(
                f"{_FUNCTION}: {record.name!r} (type code {record.code}) has shape {array.shape}, "
                f"not {shape} for {count} particles"
            )
        dtype = np.int32 if record.code <= 1 else np.float64
        records.append((name_bytes(record.name, _FUNCTION), record.code, np.ascontiguousarray(array, dtype=dtype)))
    return count, records
