"""Velpo's PDC particle caches as NumPy arrays, and its cache nodes run on
one frame at a time as the host runs them.

Reading and writing go through the same file layer as the nodes and the
``velpo`` command, so a file one of them takes, all of them take, and a file
they refuse raises PdcError with the same reason.

Example:
    >>> import numpy as np, velpo
    >>> velpo.write("fluid.1.pdc", {"position": np.zeros((100, 3)), "age": np.ones(100)})
    >>> cache = velpo.read("fluid.1.pdc")
    >>> cache.particle_count, cache["position"].shape, cache["age"].dtype
    (100, (100, 3), dtype('float64'))
"""

from velpo._errors import HostError, PdcError, PluginError, SettingsWarning
from velpo._host import Host, ImportedFrame, LogEntry
from velpo._info import info
from velpo._naming import file_name, sequence
from velpo._reading import Cache, Record, read
from velpo._writing import write

__all__ = [
    "Cache",
    "Host",
    "HostError",
    "ImportedFrame",
    "LogEntry",
    "PdcError",
    "PluginError",
    "Record",
    "SettingsWarning",
    "file_name",
    "info",
    "read",
    "sequence",
    "write",
]
