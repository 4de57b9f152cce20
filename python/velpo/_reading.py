"""velpo.read and the Cache it returns."""

from __future__ import annotations

import os
from collections.abc import Iterable
from typing import Dict, Iterator, List, Mapping, Optional, Tuple

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


class Cache(Mapping[str, np.ndarray]):
    """The records of one PDC file as NumPy arrays, by name, in file order.

    A mapping: ``cache["position"]``, ``"age" in cache``, ``list(cache)``,
    ``cache.items()``. Per-particle records are float64 arrays of shape
    (N,) for doubles and (N, 3) for vectors, int32 of shape (N,) for integer
    records. A single value for all particles has no particle axis: a 0-d
    array for a number, shape (3,) for a vector; ``is_array`` tells which.
    Each array owns the buffer the file was decoded into.

    Example:
        >>> import numpy as np, velpo
        >>> velpo.write("drops.1.pdc", {"position": np.zeros((4, 3)), "mass": 0.5})
        >>> cache = velpo.read("drops.1.pdc")
        >>> cache.particle_count, cache.names(), cache["mass"].shape
        (4, ['position', 'mass'], ())
    """

    __slots__ = ("path", "header", "_arrays", "_codes")

    def __init__(
        self, path: str, header: Dict[str, object], records: List[Tuple[str, int, np.ndarray]]
    ) -> None:
        self.path = path
        self.header = header
        self._arrays: Dict[str, np.ndarray] = {name: array for name, _, array in records}
        self._codes: Dict[str, int] = {name: code for name, code, _ in records}

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
        """The names of the records read, in file order.

        Example:
            >>> import numpy as np, velpo
            >>> velpo.write("drops.1.pdc", {"position": np.zeros((4, 3)), "age": np.ones(4)})
            >>> velpo.read("drops.1.pdc").names()
            ['position', 'age']
        """
        return list(self._arrays)

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
        return name in self._arrays

    def __repr__(self) -> str:
        records = ", ".join(f"{name!r}: {self._arrays[name].shape}" for name in self._arrays)
        return f"<velpo.Cache {self.path!r}, {self.particle_count} particles, {{{records}}}>"

    def _known(self, name: str) -> str:
        if name not in self._arrays:
            raise KeyError(f"{self.path}: no record {name!r} was read; there are {self.names()}")
        return name


def read(path: PathArgument, attributes: Optional[Iterable[str]] = None) -> Cache:
    """Reads a PDC cache file into NumPy arrays.

    ``attributes``: the names of the records to read; the others are
    stepped over and never decoded. None reads every record. A name that
    several records share gives the first of them, as the nodes take it.

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
    header_values, records = _files.read(target, wanted)
    header: Dict[str, object] = dict(zip(_HEADER_FIELDS, header_values))
    header["format"] = header_values[0].decode("latin-1")
    return Cache(
        os.fsdecode(target),
        header,
        [(name_text(name), code, array) for name, code, array in records],
    )
