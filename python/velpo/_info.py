"""velpo.info: what ``velpo info --json`` tells of a file."""

from __future__ import annotations

import json
from typing import Any, Dict

from velpo import _files
from velpo._arguments import PathArgument, path_bytes


def info(path: PathArgument) -> Dict[str, Any]:
    """The header, records, statistics and problems of a PDC file: the same
    fields as ``velpo info --json`` prints, from the same inspection.

    ``file``, ``size`` (bytes), ``readable`` (whether the nodes take the
    file), ``header`` (``format``, ``version``, ``byteOrder``,
    ``particleCount``, ``attributeCount``; None when the file is shorter
    than a header), ``records`` (each with ``name``, ``code``, ``array``,
    ``count``, ``offset``, ``nan`` and ``infinite`` (counts of such values)
    and per-component ``min``, ``max``, ``mean`` over the finite values, None
    where there are none; a mean that overflows is the string "Infinity")
    and ``problems`` (each a dict of ``kind``, a stable name such as
    "truncated" or "nan-values", ``fatal`` and ``text``).
    A damaged file is described, not raised: ``readable`` is False and the
    first problem says why, as ``velpo.read`` would raise it. The file is
    read once, in bounded chunks, with the interpreter's lock released.

    Example:
        >>> import numpy as np, velpo
        >>> velpo.write("drops.1.pdc", {"position": np.zeros((4, 3)), "mass": 0.5})
        >>> facts = velpo.info("drops.1.pdc")
        >>> facts["readable"], facts["header"]["particleCount"], [r["name"] for r in facts["records"]]
        (True, 4, ['position', 'mass'])
        >>> facts["records"][1]["min"]
        [0.5]
    """
    target = path_bytes(path, "velpo.info")
    result: Dict[str, Any] = json.loads(_files.info_json(target))
    return result
