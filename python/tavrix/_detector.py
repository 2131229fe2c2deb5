"""The detector object of the library, as a Python context manager."""

from __future__ import annotations

import ctypes
import os
import sys
from dataclasses import dataclass
from typing import Optional, Tuple, Type, Union

import numpy as np
import numpy.typing as npt

from ._arrays import IMAGE_SHAPE, as_unsigned
from ._library import load_library

__all__ = ["Detector", "DetectorError", "Messages"]

_ARM, _ACQUIRE = 1, 2
_INT32_MIN, _INT32_MAX = -(2**31), 2**31 - 1

StrPath = Union[str, "os.PathLike[str]"]


class DetectorError(RuntimeError):
    """A library call refused or failed.

    Attributes:
        call: the call as made, e.g. ``"LoadPixelMap('x.map', 0)"``.
        result: what it returned; None when the call was not made.
    """

    def __init__(self, call: str, result: Optional[int], reason: str) -> None:
        super().__init__(f"{call}: {reason}" if result is None else f"{call} returned {result}: {reason}")
        self.call = call
        self.result = result


@dataclass(frozen=True)
class Messages:
    """What one poll of the serial channel brought.

    Attributes:
        switch_codes: the switch codes (1, 2 or 3) found in the message, in
            the order of their positions; empty when no switch was pressed.
        temperature: the panel temperature, -132..123 degrees; the last one
            decoded, 0 until the panel has sent one.
    """

    switch_codes: Tuple[int, ...]
    temperature: int


def _encode_path(path: StrPath) -> bytes:
    text = os.fspath(path)
    # The library opens 8-bit names: the ANSI code page on Windows.
    encoded = text.encode("mbcs") if sys.platform == "win32" else os.fsencode(text)
    if b"\0" in encoded:
        raise ValueError(f"path {text!r} contains a NUL character")
    return encoded


def _check_panel(panel: int) -> int:
    if isinstance(panel, bool) or not isinstance(panel, (int, np.integer)) or panel not in (0, 1):
        raise ValueError(f"panel must be 0 or 1, not {panel!r}")
    return int(panel)


def _check_int32(name: str, value: int) -> int:
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
        raise TypeError(f"{name} must be an integer, not {value!r}")
    if not _INT32_MIN <= int(value) <= _INT32_MAX:
        raise ValueError(f"{name} {value} does not fit a 32-bit integer")
    return int(value)


class Detector:
    """The library's detector object: created on construction, released by
    :meth:`close` or at the end of a ``with`` block.

    The library holds one detector object per process; a second
    ``Detector`` while one is open raises :class:`DetectorError`. All calls
    must come from one thread at a time.

    Example::

        with tavrix.Detector() as detector:
            detector.load_pixel_map("pixel_0.map", 0)
            detector.load_gain_map("gain_0.map", 0)
            image = detector.acquire()

    Args:
        library: path of the library file; by default it is found as
            :func:`tavrix.load_library` describes.

    Raises:
        LibraryNotFoundError: the library could not be loaded.
        DetectorError: ``Sys_Allocation_1417`` refused: a detector object
            exists already, or there was not enough memory.
    """

    def __init__(self, library: Optional[StrPath] = None) -> None:
        self._lib = load_library(library)
        self._open = False
        result = self._lib.Sys_Allocation_1417()
        if result == -1:
            raise DetectorError("Sys_Allocation_1417()", result,
                                "a detector object exists already in this process; "
                                "close it (or leave its with block) first")
        if result != 1:
            raise DetectorError("Sys_Allocation_1417()", result, "not enough memory for the detector")
        self._open = True

    def __enter__(self) -> "Detector":
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], value: Optional[BaseException],
                 traceback: object) -> None:
        self.close()

    @property
    def closed(self) -> bool:
        """True once the detector object has been released."""
        return not self._open

    def close(self) -> None:
        """Release the detector object (``Sys_Free``); a second call does nothing.

        Every array returned before stays valid: they are copies.
        """
        if not self._open:
            return
        self._open = False
        result = self._lib.Sys_Free()
        if result != 1:
            raise DetectorError("Sys_Free()", result, "there was no detector object to release")

    @staticmethod
    def _check(call: str, result: int, ok: bool, reason: str) -> None:
        if ok:
            return
        if result == -1:
            reason = "no detector object exists (it was released behind this Detector's back)"
        raise DetectorError(call, result, reason)

    def _require_open(self, call: str) -> None:
        if not self._open:
            raise DetectorError(call, None, "this Detector has been closed")

    def _load_map(self, function: str, path: StrPath, panel: int, size: str) -> None:
        self._require_open(function)
        panel = _check_panel(panel)
        result = getattr(self._lib, function)(_encode_path(path), panel)
        self._check(f"{function}({os.fspath(path)!r}, {panel})", result, result == 1,
                    f"missing, not a regular file, shorter than {size}, or a read error part-way "
                    "(then the rows read before it are loaded)")

    def load_pixel_map(self, path: StrPath, panel: int) -> None:
        """Load the pixel map file (3073 x 3073 bytes) of ``panel`` (0 or 1).

        Raises:
            ValueError: ``panel`` is not 0 or 1.
            DetectorError: the library could not load the file.
        """
        self._load_map("LoadPixelMap", path, panel, "9,443,329 bytes")

    def load_gain_map(self, path: StrPath, panel: int) -> None:
        """Load the gain map file (3072 x 3072 float32) of ``panel`` (0 or 1).

        Raises:
            ValueError: ``panel`` is not 0 or 1.
            DetectorError: the library could not load the file.
        """
        self._load_map("LoadGainMap", path, panel, "37,748,736 bytes")

    @property
    def panel(self) -> int:
        """The selected panel, 0 or 1: its maps correct the following frames."""
        self._require_open("panel")
        result = self._lib.PanelSelect(-1)  # any value but 0 and 1 only reports the panel
        self._check("PanelSelect(-1)", result, result in (0, 1), "no such panel")
        return int(result)

    @panel.setter
    def panel(self, panel: int) -> None:
        self._require_open("panel")
        panel = _check_panel(panel)
        result = self._lib.PanelSelect(panel)
        self._check(f"PanelSelect({panel})", result, result == panel, "the panel was not selected")

    @property
    def frame_grabber_present(self) -> bool:
        """True when the frame grabber opened as the detector was created."""
        self._require_open("frame_grabber_present")
        result = self._lib.CheckFrameGrabber()
        self._check("CheckFrameGrabber()", result, result in (0, 1), "unexpected result")
        return bool(result == 1)

    def acquire(self) -> npt.NDArray[np.uint16]:
        """Arm, take one exposure and return its corrected image.

        Blocks until the frame arrives, up to about 60 seconds.

        Returns:
            a new ``(3072, 3072)`` ``uint16`` array, values 0..16383; the
            library's own buffer is overwritten by the next acquisition.

        Raises:
            DetectorError: no whole frame arrived: the card reported the
                transfer failed or short, or none came within the waits.
        """
        self._require_open("acquire()")
        result = self._lib.RunforDetector(_ARM)
        # 0: armed already, which still admits this one acquisition.
        self._check(f"RunforDetector({_ARM})", result, result in (0, 1), "unexpected result")
        result = self._lib.RunforDetector(_ACQUIRE)
        self._check(f"RunforDetector({_ACQUIRE})", result, result == 1,
                    "no image: the frame grabber delivered no whole frame (a failed or short "
                    "transfer, or none within the 30-second waits)")
        buffer = self._lib.SaveRawImage()
        if not buffer:
            raise DetectorError("SaveRawImage()", 0, "no image buffer")
        return np.ctypeslib.as_array(buffer, shape=IMAGE_SHAPE).copy()

    def poll_messages(self) -> Messages:
        """Fetch the waiting serial bytes and decode them.

        Returns:
            the switch codes in the message and the panel temperature.
        """
        self._require_open("poll_messages()")
        self._lib.CheckSwitch()  # -1 whatever happened
        length = self._lib.GetMsgLength()
        self._check("GetMsgLength()", length, length > 0, "no message length")
        # Decoding in order matters: visiting a temperature frame updates the temperature.
        codes = (self._lib.GetSwitchMsg(p) for p in range(length))
        switch_codes = tuple(code for code in codes if code != 0)
        temperature = self._lib.GetTemperature()
        return Messages(switch_codes, int(temperature))

    def drain_messages(self) -> None:
        """Discard the serial bytes waiting (``Init_Comm``, at least 100 ms);
        the temperature of the last frame seen is kept."""
        self._require_open("drain_messages()")
        self._lib.Init_Comm()

    def enhance(self, image: npt.ArrayLike, levels: int = 4, strength: int = 10, radius: int = 2,
                decay: int = 10) -> npt.NDArray[np.uint16]:
        """Return a contrast-enhanced copy of ``image`` for display.

        ``image`` itself is left untouched (the library smooths its source in
        place, so it receives a copy).

        Args:
            image: any ``(3072, 3072)`` array of whole numbers in 0..65535.
            levels: 1..5 (larger values run 5); a negative value returns the
                log-mapped image instead of the enhanced one.
            strength: any nonzero value; larger enhances more.
            radius: radius of the pre-smoothing kernel, 1..3.
            decay: decay of the kernel weights in tenths, 1..30.

        Returns:
            a new ``(3072, 3072)`` ``uint16`` array.

        Raises:
            ValueError: wrong shape, values outside 0..65535 or fractions, or
                parameters for which the library would do nothing (levels or
                strength 0, radius or decay out of range).
            TypeError: ``image`` is not numeric.
        """
        self._require_open("enhance()")
        levels = _check_int32("levels", levels)
        strength = _check_int32("strength", strength)
        radius = _check_int32("radius", radius)
        decay = _check_int32("decay", decay)
        if levels == 0 or strength == 0:
            raise ValueError("levels and strength must be nonzero")
        if not 1 <= radius <= 3:
            raise ValueError(f"radius must be 1..3, not {radius}")
        if not 1 <= decay <= 30:
            raise ValueError(f"decay must be 1..30 (tenths), not {decay}")
        source = as_unsigned(image, np.uint16, IMAGE_SHAPE, "image")
        destination = np.zeros(IMAGE_SHAPE, np.uint16)
        pointer = ctypes.POINTER(ctypes.c_uint16)
        result = self._lib.Enhancement(source.ctypes.data_as(pointer), destination.ctypes.data_as(pointer),
                                       levels, strength, radius, decay)
        self._check(f"Enhancement(source, destination, {levels}, {strength}, {radius}, {decay})", result,
                    result == 1, "a null image")
        return destination
