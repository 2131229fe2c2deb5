"""The calibration map files and raw frames, read and written with numpy."""

from __future__ import annotations

import os
import secrets
from pathlib import Path
from typing import Callable, IO, Iterable, Iterator, NamedTuple, Optional, Union

import numpy as np
import numpy.typing as npt

from ._arrays import IMAGE_SHAPE, as_float32, as_unsigned

__all__ = [
    "PixelMap", "read_pixel_map", "write_pixel_map", "read_gain_map", "write_gain_map",
    "RAW_FRAME_BYTES", "unscramble", "scramble", "read_raw_frames", "write_raw_frames",
]

StrPath = Union[str, "os.PathLike[str]"]

_SIDE = IMAGE_SHAPE[0]
_MAP_SIDE = _SIDE + 1  # one more column of row flags, one more row of column flags
PIXEL_MAP_BYTES = _MAP_SIDE * _MAP_SIDE
GAIN_MAP_BYTES = _SIDE * _SIDE * 4

# The raw frame: 1282 lines of 6320 little-endian words. Line 2 + c carries
# column c and column 3071 - c, each as two runs of 1536 words.
_LINE_WORDS = 6320
_LINES = 1282
_FIRST_LINE = 2
_READ_COLUMNS = 1280  # per side; columns 1280..1791 are in no line
_RUN = _SIDE // 2
_RUN_A, _RUN_B, _RUN_C, _RUN_D = 8, 1572, 3168, 4732
RAW_FRAME_BYTES = _LINES * _LINE_WORDS * 2
_RAW_WORD = np.dtype("<u2")


class PixelMap(NamedTuple):
    """The three parts of a pixel map file.

    Attributes:
        codes: ``(3072, 3072)`` ``uint8``: 0 good pixel, nonzero defective,
            2 also filled from its neighbours before the gain step.
        row_flags: ``(3072,)`` ``uint8``: 1 right half, 2 left half, 3 both
            halves of the row are rebuilt; other values nothing.
        column_flags: ``(3072,)`` ``uint8``: nonzero marks a defective column.
    """

    codes: npt.NDArray[np.uint8]
    row_flags: npt.NDArray[np.uint8]
    column_flags: npt.NDArray[np.uint8]


def _read_exact(path: StrPath, size: int, what: str) -> npt.NDArray[np.uint8]:
    found = os.stat(path).st_size
    if found != size:
        raise ValueError(f"{os.fspath(path)}: a {what} holds {size:,} bytes, this file {found:,}")
    return np.fromfile(path, np.uint8, count=size)


def _write_atomically(path: StrPath, write: Callable[[IO[bytes]], None]) -> None:
    """Write a file under a temporary name beside it, then rename it into
    place: a reader never sees a partial file, and a failure leaves any
    earlier file as it was."""
    target = Path(path)
    temporary = target.with_name(f".{target.name}.{secrets.token_hex(4)}.tmp")
    # O_EXCL: never write into a file of someone else's; 0o666 lets the umask decide.
    descriptor = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_BINARY", 0), 0o666)
    try:
        with os.fdopen(descriptor, "wb") as stream:
            write(stream)
            stream.flush()
            os.fsync(stream.fileno())
        os.replace(temporary, target)
    except BaseException:
        temporary.unlink(missing_ok=True)
        raise


def read_pixel_map(path: StrPath) -> PixelMap:
    """Read a pixel map file (3073 x 3073 bytes).

    The last byte of each of the first 3072 rows is that row's flag; the last
    row holds the column flags. The file's very last byte is not used.

    Raises:
        ValueError: the file is not exactly 9,443,329 bytes.
        OSError: the file cannot be read.
    """
    entries = _read_exact(path, PIXEL_MAP_BYTES, "pixel map").reshape(_MAP_SIDE, _MAP_SIDE)
    return PixelMap(entries[:_SIDE, :_SIDE].copy(), entries[:_SIDE, _SIDE].copy(),
                    entries[_SIDE, :_SIDE].copy())


def write_pixel_map(path: StrPath, codes: npt.ArrayLike, row_flags: Optional[npt.ArrayLike] = None,
                    column_flags: Optional[npt.ArrayLike] = None) -> None:
    """Write a pixel map file; absent flags are written as 0 (no line repair).

    Args:
        codes: ``(3072, 3072)`` whole numbers 0..255.
        row_flags, column_flags: ``(3072,)`` whole numbers 0..255.

    Raises:
        ValueError: wrong shape or values outside 0..255 (nothing is written).
        TypeError: values that are not numbers (nothing is written).
    """
    entries = np.zeros((_MAP_SIDE, _MAP_SIDE), np.uint8)
    entries[:_SIDE, :_SIDE] = as_unsigned(codes, np.uint8, IMAGE_SHAPE, "codes")
    if row_flags is not None:
        entries[:_SIDE, _SIDE] = as_unsigned(row_flags, np.uint8, (_SIDE,), "row_flags")
    if column_flags is not None:
        entries[_SIDE, :_SIDE] = as_unsigned(column_flags, np.uint8, (_SIDE,), "column_flags")
    _write_atomically(path, lambda stream: entries.tofile(stream))


def read_gain_map(path: StrPath) -> npt.NDArray[np.float32]:
    """Read a gain map file (3072 x 3072 little-endian float32).

    Returns:
        a ``(3072, 3072)`` ``float32`` array in the machine's byte order.

    Raises:
        ValueError: the file is not exactly 37,748,736 bytes.
        OSError: the file cannot be read.
    """
    raw = _read_exact(path, GAIN_MAP_BYTES, "gain map")
    return raw.view("<f4").reshape(IMAGE_SHAPE).astype(np.float32)


def write_gain_map(path: StrPath, gains: npt.ArrayLike) -> None:
    """Write a gain map file from a ``(3072, 3072)`` array of numbers.

    Raises:
        ValueError: wrong shape (nothing is written).
        TypeError: values that are not numbers (nothing is written).
    """
    values = as_float32(gains, IMAGE_SHAPE, "gains").astype("<f4")
    _write_atomically(path, lambda stream: values.tofile(stream))


def unscramble(raw_frame: npt.ArrayLike) -> npt.NDArray[np.uint16]:
    """Rearrange one raw frame into the image, as the library's readout does.

    Args:
        raw_frame: the frame's 16,204,480 bytes (``bytes`` or any ``uint8``
            array), or its words as a ``(1282, 6320)`` little-endian
            ``uint16`` array.

    Returns:
        a new ``(3072, 3072)`` ``uint16`` array; the data-less columns
        1280..1791 are 0.

    Raises:
        ValueError: not the size of one raw frame.
    """
    if isinstance(raw_frame, (bytes, bytearray, memoryview)):
        raw_frame = np.frombuffer(raw_frame, np.uint8)
    array = np.asarray(raw_frame)
    if array.dtype.itemsize == 1 and array.size == RAW_FRAME_BYTES:
        array = np.ascontiguousarray(array).reshape(-1).view(_RAW_WORD)
    elif array.dtype.kind != "u" or array.dtype.itemsize != 2 or array.size != RAW_FRAME_BYTES // 2:
        raise ValueError(f"a raw frame is {RAW_FRAME_BYTES:,} bytes or {RAW_FRAME_BYTES // 2:,} uint16 words, "
                         f"this one {array.size:,} values of {array.dtype}")
    lines = array.reshape(_LINES, _LINE_WORDS)[_FIRST_LINE:_FIRST_LINE + _READ_COLUMNS]
    image = np.zeros(IMAGE_SHAPE, np.uint16)
    # Line 2 + c: runs A and B are column 3071 - c downward, runs C and D
    # column c upward; row r of image.T is column r of the image.
    right = image[:, _SIDE - _READ_COLUMNS:][:, ::-1].T
    left = image[:, :_READ_COLUMNS].T
    right[:, :_RUN] = lines[:, _RUN_A:_RUN_A + _RUN]
    right[:, _RUN:] = lines[:, _RUN_B:_RUN_B + _RUN]
    left[:, :_RUN] = lines[:, _RUN_C:_RUN_C + _RUN][:, ::-1]
    left[:, _RUN:] = lines[:, _RUN_D:_RUN_D + _RUN][:, ::-1]
    return image


def scramble(image: npt.ArrayLike) -> npt.NDArray[np.uint8]:
    """Build the raw frame that :func:`unscramble` turns back into ``image``.

    Words that carry no pixel are 0; the data-less columns 1280..1791 of
    ``image`` are in no raw line and are dropped.

    Args:
        image: any ``(3072, 3072)`` array of whole numbers in 0..65535.

    Returns:
        the frame's 16,204,480 bytes as a ``uint8`` array, ready for a replay
        file of the frame-grabber simulator.

    Raises:
        ValueError: wrong shape or values outside 0..65535.
        TypeError: values that are not numbers.
    """
    pixels = as_unsigned(image, np.uint16, IMAGE_SHAPE, "image")
    words = np.zeros((_LINES, _LINE_WORDS), _RAW_WORD)
    lines = words[_FIRST_LINE:_FIRST_LINE + _READ_COLUMNS]
    right = pixels[:, _SIDE - _READ_COLUMNS:][:, ::-1].T
    left = pixels[:, :_READ_COLUMNS].T
    lines[:, _RUN_A:_RUN_A + _RUN] = right[:, :_RUN]
    lines[:, _RUN_B:_RUN_B + _RUN] = right[:, _RUN:]
    lines[:, _RUN_C:_RUN_C + _RUN] = left[:, :_RUN][:, ::-1]
    lines[:, _RUN_D:_RUN_D + _RUN] = left[:, _RUN:][:, ::-1]
    return words.reshape(-1).view(np.uint8)


def read_raw_frames(path: StrPath) -> Iterator[npt.NDArray[np.uint16]]:
    """Yield the images that the readout makes of each frame in a raw file.

    The file (a recording, or a replay file of the frame-grabber simulator)
    is memory-mapped, so frames are read one at a time as they are asked for.

    Yields:
        a new ``(3072, 3072)`` ``uint16`` array per frame, as
        :func:`unscramble` gives it.

    Raises:
        ValueError: the file's size is not a whole, nonzero number of raw
            frames of 16,204,480 bytes (raised at once, before any frame).
        OSError: the file cannot be read.
    """
    size = os.stat(path).st_size
    if size == 0 or size % RAW_FRAME_BYTES:
        raise ValueError(f"{os.fspath(path)}: a raw frame file holds whole frames of {RAW_FRAME_BYTES:,} bytes, "
                         f"this file {size:,} bytes ({size / RAW_FRAME_BYTES:.3f} frames)")
    frames = np.memmap(path, _RAW_WORD, mode="r", shape=(size // RAW_FRAME_BYTES, _LINES, _LINE_WORDS))
    return (unscramble(frame) for frame in frames)


def write_raw_frames(path: StrPath, images: Iterable[npt.ArrayLike]) -> int:
    """Write a replay file of the frame-grabber simulator, one raw frame per image.

    Returns:
        the number of frames written.

    Raises:
        ValueError: no image, or an image of the wrong shape or values
            (nothing is written).
        TypeError: an image that is not numeric (nothing is written).
    """
    count = 0

    def write(stream: IO[bytes]) -> None:
        nonlocal count
        for image in images:
            scramble(image).tofile(stream)
            count += 1
        if count == 0:
            raise ValueError("no image to write")

    _write_atomically(path, write)
    return count
