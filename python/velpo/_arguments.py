"""Checks of the arguments that several functions take, raising TypeError or
ValueError with the function and the argument named."""

from __future__ import annotations

import operator
import os
from typing import Any, Union

PathArgument = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

INT32_MIN = -(2**31)
INT32_MAX = 2**31 - 1


def path_bytes(path: Any, function: str) -> bytes:
    """The path as the system takes it: str, bytes or os.PathLike."""
    try:
        encoded = os.fsencode(path)
    except TypeError:
        raise TypeError(
            f"{function}: the path must be str, bytes or os.PathLike, not {type(path).__name__}"
        ) from None
    if b"\0" in encoded:
        raise ValueError(f"{function}: the path {path!r} holds a null byte")
    return encoded


def integer(value: Any, what: str, low: int, high: int) -> int:
    """An integer (anything with __index__, not a bool) in low ... high."""
    if isinstance(value, bool):
        raise TypeError(f"{what} must be an integer, not bool")
    try:
        number = operator.index(value)
    except TypeError:
        raise TypeError(f"{what} must be an integer, not {type(value).__name__}") from None
    if not low <= number <= high:
        raise ValueError(f"{what} is {number}, outside {low} ... {high}")
    return number


def name_bytes(name: Any, function: str) -> bytes:
    """A record name as it goes into a file: UTF-8, with the bytes of a name
    read from a file that was not UTF-8 given back as they were."""
    if not isinstance(name, str):
        raise TypeError(f"{function}: names must be str, not {type(name).__name__} ({name!r})")
    if "\0" in name:
        raise ValueError(f"{function}: the name {name!r} holds a zero character, where readers cut it")
    try:
        return name.encode("utf-8", "surrogateescape")
    except UnicodeEncodeError as error:
        raise ValueError(f"{function}: the name {name!r} cannot be encoded: {error.reason}") from None


def name_text(name: bytes) -> str:
    return name.decode("utf-8", "surrogateescape")
