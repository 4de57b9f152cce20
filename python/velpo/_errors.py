"""The errors of the velpo module."""

from __future__ import annotations

from typing import Any, List, Optional, Tuple


class PdcError(OSError):
    """A PDC file that cannot be read or written.

    ``filename`` names the file and ``reason`` says what is wrong, in the
    words of the ``velpo`` command and the nodes: a truncated file, a forged
    count or length, an unknown type code (with the record and its byte
    offset), or the system's reason. ``errno`` is set when the system gave
    one (a missing file). An ``OSError``, so ``except OSError`` catches it
    with every other file error.

    Example:
        >>> import velpo
        >>> try:
        ...     velpo.read("no-such-folder/particles.1.pdc")
        ... except velpo.PdcError as error:
        ...     print(error.filename, "-", error.reason)
        no-such-folder/particles.1.pdc - No such file or directory
    """

    def __init__(self, filename: str, reason: str, errno: Optional[int] = None) -> None:
        super().__init__(errno, reason, filename)
        self.reason = reason

    def __str__(self) -> str:
        return f"{self.filename}: {self.reason}"

    def __reduce__(self) -> Tuple[Any, ...]:
        return (type(self), (self.filename, self.reason, self.errno))


class PluginError(OSError):
    """The plug-in library that ``velpo.Host`` was given cannot be loaded,
    or is not a plug-in.

    ``filename`` names the library and ``reason`` says why, in the words of
    the host runtime that ``velpo export`` shows: no such file, a library
    the system cannot load (with the loader's reason), no XSILoadPlugin.
    ``errno`` is ENOENT when there is no such file. An ``OSError``.

    Example:
        >>> import velpo
        >>> try:
        ...     velpo.Host(plugin="/etc/passwd")
        ... except velpo.PluginError as error:
        ...     print(error.filename, "-", error.reason.split(":")[0])
        /etc/passwd - cannot load the plug-in library
    """

    def __init__(self, filename: str, reason: str, errno: Optional[int] = None) -> None:
        super().__init__(errno, reason, filename)
        self.reason = reason

    def __str__(self) -> str:
        return f"{self.filename}: {self.reason}"

    def __reduce__(self) -> Tuple[Any, ...]:
        return (type(self), (self.filename, self.reason, self.errno))


class HostError(RuntimeError):
    """The nodes failed on a frame, where ``velpo export`` or ``velpo
    import`` would exit with status 1.

    The message is the first error; ``log`` holds every entry the host
    logged for the frame, as ``(severity, text)`` pairs.

    Example:
        >>> import velpo
        >>> host = velpo.Host()
        >>> try:
        ...     host.import_({"Path": "no-such-folder/fluid"}, 1)
        ... except velpo.HostError as error:
        ...     print(error.log[0].severity)
        error
    """

    def __init__(self, message: str, log: List[Any]) -> None:
        super().__init__(message)
        self.log = log

    def __reduce__(self) -> Tuple[Any, ...]:
        return (type(self), (str(self), self.log))


class SettingsWarning(UserWarning):
    """Settings that the command would warn about too, or whose cache names
    are not what they seem: a "Path" that the nodes cut inside a folder
    name (so files land elsewhere, or hidden), two parameters naming one
    attribute, a frame whose number times "Step" lies outside 0 ...
    4294967295 (the nodes take it modulo 2**32).

    Example:
        >>> import warnings, velpo
        >>> with warnings.catch_warnings(record=True) as caught:
        ...     warnings.simplefilter("always")
        ...     velpo.file_name("../cache/fluid", 1)
        '.1.pdc'
        >>> caught[0].category.__name__
        'SettingsWarning'
    """
