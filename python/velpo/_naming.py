"""velpo.file_name and velpo.sequence: cache files named as the nodes name them."""

from __future__ import annotations

import json
import operator
import os
from collections.abc import Iterable, Mapping
from typing import Any, Iterator, Tuple, Union

from velpo import _files
from velpo._arguments import INT32_MAX, INT32_MIN, integer

UINT32_MAX = 2**32 - 1


def file_name(base: Union[str, "os.PathLike[str]"], frame: int, step: int = 1) -> str:
    """The cache file of ``frame``, named exactly as the nodes name it.

    ``base`` is the settings' "Path": ``~`` and ``$VAR`` are expanded as the
    host expands them, a base that already names a file of a sequence
    ("fluid.250.pdc") is cut back to its stem, then ``.<frame * step>.pdc``
    follows, the product taken modulo 2**32 as the host's 32-bit ports give
    it (a negative frame wraps).

    Example:
        >>> import velpo
        >>> velpo.file_name("cache/fluid", 120, 250)
        'cache/fluid.30000.pdc'
        >>> velpo.file_name("cache/fluid.250.pdc", 2, 250)
        'cache/fluid.500.pdc'
    """
    try:
        text = os.fsdecode(os.fspath(base))
    except TypeError:
        raise TypeError(f"velpo.file_name: base must be str or os.PathLike, not {type(base).__name__}") from None
    number = integer(frame, "velpo.file_name: frame", INT32_MIN, UINT32_MAX) & UINT32_MAX
    factor = integer(step, "velpo.file_name: step", INT32_MIN, INT32_MAX)
    name = _files.file_name(text.encode("utf-8", "surrogateescape"), number, factor)
    return name.decode("utf-8", "surrogateescape")


def settings_text(settings: Any, function: str) -> Tuple[str, str]:
    """(source, JSON text) of settings given as a mapping or as the path of a
    JSON file, checked as ``velpo export --settings`` checks its file."""
    if isinstance(settings, Mapping):
        source = "settings"
        try:
            text = json.dumps(dict(settings), default=_json_number)
        except (TypeError, ValueError) as error:
            raise TypeError(f"{function}: settings: {error}") from None
    elif isinstance(settings, (str, bytes, os.PathLike)):
        source = os.fsdecode(settings)
        with open(settings, "rb") as file:
            text = file.read().decode("utf-8", "replace")
    else:
        raise TypeError(
            f"{function}: settings must be a mapping such as {{'Path': 'cache/fluid'}} or the "
            f"path of a JSON file, not {type(settings).__name__}"
        )
    _files.parse_settings(source, text)
    return source, text


def _json_number(value: Any) -> int:
    # NumPy integers stand for ints; anything else is not a settings value.
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError(f"{value!r} ({type(value).__name__}) is not a settings value") from None


def frame_list(frames: Any, function: str) -> list:
    """Frames given as "A-B" (as ``velpo export --frames`` takes them), an
    int or an iterable of ints, each a 32-bit frame number."""
    if isinstance(frames, str):
        first, last = _files.parse_frames(frames)
        return list(range(first, last + 1))
    if isinstance(frames, Iterable):
        return [integer(frame, f"{function}: frame", INT32_MIN, INT32_MAX) for frame in frames]
    return [integer(frames, f"{function}: frames", INT32_MIN, INT32_MAX)]


def sequence(source: Any, frames: Any) -> Iterator[Tuple[int, str]]:
    """(frame, path) for every frame, in the order given.

    ``source`` is either settings (a mapping with "Path" and optionally
    "Step", as ``velpo export --settings`` holds them), giving the cache
    files as the nodes name them, or a pattern (str or os.PathLike) whose
    ``#`` stands for the frame number, as the ``velpo`` command's
    ``--input`` and ``--output`` take it. ``frames`` is "A-B" (both
    included), one int, or an iterable of ints such as a range.

    Example:
        >>> import velpo
        >>> list(velpo.sequence({"Path": "cache/fluid", "Step": 250}, "1-2"))
        [(1, 'cache/fluid.250.pdc'), (2, 'cache/fluid.500.pdc')]
        >>> list(velpo.sequence("tables/pts.#.csv", range(7, 9)))
        [(7, 'tables/pts.7.csv'), (8, 'tables/pts.8.csv')]
    """
    function = "velpo.sequence"
    numbers = frame_list(frames, function)
    if isinstance(source, Mapping):
        _, text = settings_text(source, function)
        path, step = _files.parse_settings("settings", text)[:2]
        return iter([(frame, file_name(path, frame, step)) for frame in numbers])
    if not isinstance(source, (str, os.PathLike)):
        raise TypeError(
            f"{function}: source must be settings or a '#' pattern, not {type(source).__name__}"
        )
    pattern = os.fsdecode(os.fspath(source))
    if "#" not in pattern and len(numbers) > 1:
        raise ValueError(
            f"{function}: {pattern!r} has no '#' for the frame number, but several frames are asked for"
        )
    return iter([(frame, pattern.replace("#", str(frame))) for frame in numbers])
