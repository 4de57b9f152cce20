"""velpo.read and the Cache it returns."""

from __future__ import annotations

import os
from collections.abc import Iterable
from typing import Dict, Iterator, List, Mapping, NamedTuple, Optional

import numpy as np

from velpo import _files
from velpo._arguments import PathArgument, name_bytes, name_text, path_bytes

_HEADER_FIELDS = (
    "format",
    "version",
    "byteOrder",
    "reserved1",
    "reserved2",
    "particleCount",
    "attributeCount",
)


class Record(NamedTuple):
    """One record of a file as ``Cache.records()`` lists it: its name, its
    type code, its values (as ``Cache[name]`` gives them) and whether it is
    the record its name delivers.

    Example:
        >>> import numpy as np, velpo
        >>> velpo.write("drops.1.pdc", {"mass": 0.5})
        >>> velpo.read("drops.1.pdc").records()
        [Record(name='mass', code=2, values=array(0.5), delivered=True)]
    """

    name: str
    code: int
    values: np.ndarray
    delivered: bool


class Cache(Mapping[str, np.ndarray]):
    """The records of one PDC file as NumPy arrays, by name.

    A mapping: ``cache["position"]``, ``"age" in cache``, ``list(cache)``,
    ``cache.items()``. Per-particle records are float64 arrays of shape
    (N,) for doubles and (N, 3) for vectors, int32 of shape (N,) for integer
    records. A single value for all particles has no particle axis: a 0-d
    array for a number, shape (3,) for a vector; ``is_array`` tells which.
    Each array owns the buffer the file was decoded into.

    When several records share a name, ``cache[name]`` is the one the
    nodes deliver through a slot of that name: the last record of the name
    (see "Records of the same name" in the README). ``records()`` lists
    every record read, in file order. Names compare as the nodes compare
    them: a name that is not UTF-8 in the file is found under the text the
    host decodes it to as well as under its own bytes.

    Example:
        >>> import numpy as np, velpo
        >>> velpo.write("drops.1.pdc", {"position": np.zeros((4, 3)), "mass": 0.5})
        >>> cache = velpo.read("drops.1.pdc")
        >>> cache.particle_count, cache.names(), cache["mass"].shape
        (4, ['position', 'mass'], ())
    """

    __slots__ = ("path", "header", "_arrays", "_codes", "_records", "_keys")

    def __init__(self, path: str, header: Dict[str, object], records: List[Record]) -> None:
        self.path = path
        self.header = header
        self._records = records
        delivered = [record for record in records if record.delivered]
        self._arrays: Dict[str, np.ndarray] = {record.name: record.values for record in delivered}
        self._codes: Dict[str, int] = {record.name: record.code for record in delivered}
        self._keys: Dict[bytes, str] = {_key(record.name): record.name for record in delivered}

    @property
    def particle_count(self) -> int:
        """The header's particle count (which a file may state as negative
        when it holds single values only).

        Example:
            >>> import numpy as np, velpo
            >>> velpo.write("drops.1.pdc", {"position": np.zeros((4, 3))})
            >>> velpo.read("drops.1.pdc").particle_count
            4
        """
        return int(self.header["particleCount"])  # type: ignore[call-overload]

    def names(self) -> List[str]:
        """The names of the records read, one per name, in the file order
        of the record each name delivers.

        Example:
            >>> import numpy as np, velpo
            >>> velpo.write("drops.1.pdc", {"position": np.zeros((4, 3)), "age": np.ones(4)})
            >>> velpo.read("drops.1.pdc").names()
            ['position', 'age']
        """
        return list(self._arrays)

    def records(self) -> List[Record]:
        """Every record read, in file order, those that another record of
        the same name hides included (``delivered`` False).

        Example:
            >>> import numpy as np, velpo
            >>> velpo.write("drops.1.pdc", {"position": np.zeros((2, 3)), "age": np.ones(2)})
            >>> [(r.name, r.code, r.delivered) for r in velpo.read("drops.1.pdc").records()]
            [('position', 5, True), ('age', 3, True)]
        """
        return list(self._records)

    def is_array(self, name: str) -> bool:
        """True when the record holds one value per particle, False when it
        holds one value for all of them.

        Example:
            >>> import numpy as np, velpo
            >>> velpo.write("drops.1.pdc", {"position": np.zeros((3, 3)), "wind": [1.0, 0, 0]},
            ...             particle_count=3, singles={"wind"})
            >>> cache = velpo.read("drops.1.pdc")
            >>> cache.is_array("position"), cache.is_array("wind"), cache["wind"].shape
            (True, False, (3,))
        """
        return self._codes[self._known(name)] % 2 == 1

    def code(self, name: str) -> int:
        """The record's type code as the file holds it: 0 int32, 1 int32
        per particle, 2 double, 3 double per particle, 4 vector, 5 vector
        per particle.

        Example:
            >>> import numpy as np, velpo
            >>> velpo.write("drops.1.pdc", {"id": np.arange(3)}, integers="int32")
            >>> velpo.read("drops.1.pdc").code("id")
            1
        """
        return self._codes[self._known(name)]

    def __getitem__(self, name: str) -> np.ndarray:
        return self._arrays[self._known(name)]

    def __iter__(self) -> Iterator[str]:
        return iter(self._arrays)

    def __len__(self) -> int:
        return len(self._arrays)

    def __contains__(self, name: object) -> bool:
        return self._find(name) is not None

    def __repr__(self) -> str:
        records = ", ".join(f"{name!r}: {self._arrays[name].shape}" for name in self._arrays)
        return f"<velpo.Cache {self.path!r}, {self.particle_count} particles, {{{records}}}>"

    def _find(self, name: object) -> Optional[str]:
        if not isinstance(name, str):
            return None
        if name in self._arrays:
            return name
        if "\0" in name:
            return None
        return self._keys.get(_key(name))

    def _known(self, name: str) -> str:
        found = self._find(name)
        if found is None:
            raise KeyError(f"{self.path}: no record {name!r} was read; there are {self.names()}")
        return found


def _key(name: str) -> bytes:
    """The name as the nodes compare names."""
    return bytes(_files.name_key(name.encode("utf-8", "surrogateescape")))


def read(path: PathArgument, attributes: Optional[Iterable[str]] = None) -> Cache:
    """Reads a PDC cache file into NumPy arrays.

    ``attributes``: the names of the records to read; the others are
    stepped over and never decoded. None reads every record. A name that
    the file lacks raises KeyError naming it (and the file). A name that
    several records share gives the last of them, as the nodes deliver it
    through a slot of that name; ``Cache.records()`` lists them all.

    The file is read and decoded with the interpreter's lock released, so
    other Python threads run meanwhile. A file that the nodes refuse
    (truncated, a forged count or length, an unknown type code, a folder, a
    missing file) raises PdcError naming the file, the record and its byte
    offset; memory never exceeds the size of the file.

    Example:
        >>> import numpy as np, velpo
        >>> velpo.write("fluid.1.pdc", {"position": np.zeros((2, 3)),
        ...                             "age": np.array([0.5, 1.5])})
        >>> cache = velpo.read("fluid.1.pdc", attributes=["age"])
        >>> cache.names(), cache["age"]
        (['age'], array([0.5, 1.5]))
    """
    target = path_bytes(path, "velpo.read")
    wanted: Optional[List[bytes]] = None
    if attributes is not None:
        if isinstance(attributes, (str, bytes)) or not isinstance(attributes, Iterable):
            raise TypeError(
                "velpo.read: attributes must be a list of names, such as ['position'], "
                f"not {type(attributes).__name__}"
            )
        wanted = [name_bytes(name, "velpo.read") for name in attributes]
    header_values, records, missing = _files.read(target, wanted)
    file = os.fsdecode(target)
    if missing:
        names = ", ".join(repr(name_text(name)) for name in missing)
        raise KeyError(f"{file}: no record {names} in the file")
    header: Dict[str, object] = dict(zip(_HEADER_FIELDS, header_values))
    header["format"] = header_values[0].decode("latin-1")
    return Cache(
        file,
        header,
        [Record(name_text(name), code, array, delivered) for name, code, array, delivered in records],
    )
