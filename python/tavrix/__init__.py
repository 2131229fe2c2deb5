"""Python access to the Tavrix 1417 PCI detector library.

Acquire corrected images, poll the panel's switch codes and temperature, and
enhance images for display through the library's 14 functions (with
:mod:`ctypes`), and read and write its calibration maps and raw frames (with
:mod:`numpy`).

Example::

    import tavrix

    with tavrix.Detector() as detector:
        detector.load_pixel_map("pixel_0.map", 0)
        detector.load_gain_map("gain_0.map", 0)
        image = detector.acquire()                # (3072, 3072) uint16
        display = detector.enhance(image)
"""

from ._detector import Detector, DetectorError, Messages
from ._files import (RAW_FRAME_BYTES, PixelMap, read_gain_map, read_pixel_map, read_raw_frames, scramble,
                     unscramble, write_gain_map, write_pixel_map, write_raw_frames)
from ._library import LIBRARY_NAME, LibraryNotFoundError, load_library

#: The version of the library this package was written for.
__version__ = "1.0.0"

#: Rows and columns of every image.
IMAGE_SHAPE = (3072, 3072)

__all__ = [
    "Detector", "DetectorError", "Messages", "LibraryNotFoundError", "load_library", "LIBRARY_NAME",
    "IMAGE_SHAPE", "PixelMap", "read_pixel_map", "write_pixel_map", "read_gain_map", "write_gain_map",
    "RAW_FRAME_BYTES", "unscramble", "scramble", "read_raw_frames", "write_raw_frames",
]
