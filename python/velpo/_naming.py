"""velpo.file_name and velpo.sequence: cache files named as the nodes name
them, refused and warned about as the ``velpo`` command refuses and warns."""

from __future__ import annotations

import json
import operator
import os
import warnings
from collections.abc import Iterable, Mapping, Sized
from typing import Any, Callable, Iterator, Optional, Tuple, Union

from velpo import _files
from velpo._arguments import INT32_MAX, INT32_MIN, integer
from velpo._errors import SettingsWarning

UINT32_MAX = 2**32 - 1


def file_name(base: Union[str, "os.PathLike[str]"], frame: int, step: int = 1) -> str:
    """The cache file of ``frame``, named exactly as the nodes name it.

    ``base`` is the settings' "Path": ``~`` and ``$VAR`` are expanded as the
    host expands them, a base that already names a file of a sequence
    ("fluid.250.pdc") is cut back to its stem, then ``.<frame * step>.pdc``
    follows, the product taken modulo 2**32 as the host's 32-bit ports give
    it (a negative frame wraps). A SettingsWarning says when the product
    wraps, and when the cut reaches into a folder name ("../fluid" names
    the hidden file ".1.pdc"), as ``velpo export`` warns.

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
    number = integer(frame, "velpo.file_name: frame", INT32_MIN, UINT32_MAX)
    factor = integer(step, "velpo.file_name: step", INT32_MIN, INT32_MAX)
    namer = _Namer("velpo.file_name", _encoded(text), factor, "base")
    namer.warn_folder_cut(number)
    name = namer.name(number)
    namer.warn_wrap(number, number, name)
    return name


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


def warn_settings(function: str, source: str, text: str, stacklevel: int) -> None:
    """The command's warnings of settings that name an attribute twice."""
    for warning in _files.settings_warnings(source, text):
        warnings.warn(f"{function}: {_decoded(warning)}", SettingsWarning, stacklevel=stacklevel + 1)


class _Namer:
    """The cache files of one "Path" and "Step", with the command's checks."""

    def __init__(self, function: str, path: bytes, step: int, source: Optional[str] = None) -> None:
        self.function = function
        self.source = source or function
        self.path = path
        self.step = step

    def name(self, frame: int) -> str:
        return _decoded(_files.file_name(self.path, frame & UINT32_MAX, self.step))

    def refuse_shared(self, first: int, last: int) -> None:
        """ValueError, in the command's words, when two frames of
        first..last share a file."""
        shared = _files.distinct_files(self.source, self.path, self.step, first, last)
        if shared is not None:
            raise ValueError(f"{self.function}: {_decoded(shared)}")

    def warn_folder_cut(self, first: int) -> None:
        warning = _files.folder_cut_warning(self.source, self.path, self.step, _int32(first))
        if warning is not None:
            warnings.warn(f"{self.function}: {_decoded(warning)}", SettingsWarning, stacklevel=3)

    def warn_wrap(self, first: int, last: int, name: str) -> None:
        """One warning when frame * "Step" leaves 0 ... 2**32 - 1 for any frame
        of first..last (the product is monotone in the frame)."""
        for frame in (first, last):
            product = frame * self.step
            if not 0 <= product <= UINT32_MAX:
                warnings.warn(
                    f'{self.function}: frame {frame} * "Step" {self.step} = {product} lies outside '
                    f"0 ... {UINT32_MAX}; the nodes take it modulo 2**32"
                    + (f" and name the file {name}" if first == last else ""),
                    SettingsWarning,
                    stacklevel=3,
                )
                return


def sequence(source: Any, frames: Any) -> Iterator[Tuple[int, str]]:
    """(frame, path) for every frame, in the order given, one at a time.

    ``source`` is either settings (a mapping with "Path" and optionally
    "Step", as ``velpo export --settings`` holds them), giving the cache
    files as the nodes name them, or a pattern (str or os.PathLike) whose
    ``#`` stands for the frame number, as the ``velpo`` command's
    ``--input`` and ``--output`` take it. ``frames`` is "A-B" (both
    included), one int, or an iterable of ints such as a range.

    As the command, it refuses (ValueError, before the first file is named)
    frames that would share a file ("Step" 0, a frame * "Step" product that
    wraps onto another frame's, a frame given twice) and more than
    1,000,000 frames; it warns (SettingsWarning) when the naming cuts
    "Path" inside a folder name or a product wraps. Frames come one at a
    time: no list of them is built. An iterator without a length is checked
    as it goes, so the refusal comes when the frame that breaks a rule does.

    Example:
        >>> import velpo
        >>> list(velpo.sequence({"Path": "cache/fluid", "Step": 250}, "1-2"))
        [(1, 'cache/fluid.250.pdc'), (2, 'cache/fluid.500.pdc')]
        >>> list(velpo.sequence("tables/pts.#.csv", range(7, 9)))
        [(7, 'tables/pts.7.csv'), (8, 'tables/pts.8.csv')]
    """
    function = "velpo.sequence"
    span, numbers = _frames(frames, function)
    if isinstance(source, Mapping):
        _, text = settings_text(source, function)
        path, step = _files.parse_settings("settings", text)[:2]
        namer = _Namer(function, _encoded(path), step, "settings")
        name: Callable[[int], str] = namer.name
        key: Callable[[int], int] = lambda frame: (frame * step) & UINT32_MAX
    elif isinstance(source, (str, os.PathLike)):
        pattern = os.fsdecode(os.fspath(source))
        if "#" not in pattern and (span is None or span[0] != span[1]):
            raise ValueError(
                f"{function}: {pattern!r} has no '#' for the frame number, but several frames are asked for"
            )
        name = lambda frame: pattern.replace("#", str(frame))
        key = lambda frame: frame
        namer = None
    else:
        raise TypeError(f"{function}: source must be settings or a '#' pattern, not {type(source).__name__}")
    if span is not None:
        if namer is not None:
            namer.refuse_shared(*span)
            namer.warn_folder_cut(span[0])
            namer.warn_wrap(span[0], span[1], namer.name(span[0]))
        return ((frame, name(frame)) for frame in range(span[0], span[1] + 1))
    checked = _Checked(function, numbers, name, key, namer)
    if not isinstance(numbers, Sized):
        return iter(checked)
    for _ in checked:
        pass  # every rule checked before the first file is named
    return ((frame, name(frame)) for frame in numbers)


class _Checked:
    """Frames of any iterable, each a 32-bit number, at most the command's
    limit of them, no two named alike; with settings, the warnings of the
    first frame and of the first whose product wraps."""

    def __init__(
        self,
        function: str,
        numbers: Iterable[Any],
        name: Callable[[int], str],
        key: Callable[[int], int],
        namer: Optional[_Namer],
    ) -> None:
        self.function, self.numbers, self.name, self.key, self.namer = function, numbers, name, key, namer

    def __iter__(self) -> Iterator[Tuple[int, str]]:
        seen: dict = {}
        wrapped = False
        for count, value in enumerate(self.numbers, 1):
            frame = integer(value, f"{self.function}: frame", INT32_MIN, INT32_MAX)
            if count > _files.MAX_SEQUENCE_FRAMES:
                raise ValueError(
                    f"{self.function}: more than the {_files.MAX_SEQUENCE_FRAMES} frames one run "
                    "takes; split the frames"
                )
            earlier = seen.setdefault(self.key(frame), frame)
            if count > len(seen):
                both = f"frame {frame} is given twice" if earlier == frame else f"frames {earlier} and {frame}"
                raise ValueError(
                    f"{self.function}: {both}: both would be named {self.name(frame)}, so one "
                    "would overwrite the other"
                )
            if self.namer is not None:
                if count == 1:
                    self.namer.warn_folder_cut(frame)
                if not wrapped and not 0 <= frame * self.namer.step <= UINT32_MAX:
                    wrapped = True
                    self.namer.warn_wrap(frame, frame, self.name(frame))
            yield frame, self.name(frame)


def _frames(frames: Any, function: str) -> Tuple[Optional[Tuple[int, int]], Iterable[Any]]:
    """(first, last) when the frames are a run without gaps, else None; and
    the frames themselves."""
    if isinstance(frames, str):
        try:
            span = _files.frame_range(frames)
        except ValueError as error:
            raise ValueError(f"{function}: {error}") from None
        return span, ()
    if isinstance(frames, range) and frames.step == 1:
        if len(frames) > _files.MAX_SEQUENCE_FRAMES:
            raise ValueError(
                f"{function}: {frames} holds {len(frames)} frames, more than the "
                f"{_files.MAX_SEQUENCE_FRAMES} one run takes; split the range"
            )
        if len(frames) == 0:
            return None, ()
        first = integer(frames[0], f"{function}: frame", INT32_MIN, INT32_MAX)
        return (first, integer(frames[-1], f"{function}: frame", INT32_MIN, INT32_MAX)), ()
    if isinstance(frames, Iterable):
        if isinstance(frames, Sized) and len(frames) > _files.MAX_SEQUENCE_FRAMES:
            raise ValueError(
                f"{function}: {len(frames)} frames, more than the {_files.MAX_SEQUENCE_FRAMES} one "
                "run takes; split the frames"
            )
        return None, frames
    frame = integer(frames, f"{function}: frames", INT32_MIN, INT32_MAX)
    return (frame, frame), ()


def _json_number(value: Any) -> int:
    # NumPy integers stand for ints; anything else is not a settings value.
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError(f"{value!r} ({type(value).__name__}) is not a settings value") from None


def _encoded(text: str) -> bytes:
    return text.encode("utf-8", "surrogateescape")


def _decoded(data: bytes) -> str:
    return bytes(data).decode("utf-8", "surrogateescape")


def _int32(number: int) -> int:
    number &= UINT32_MAX
    return number - 2**32 if number > INT32_MAX else number
