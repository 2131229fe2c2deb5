"""Finding and loading the detector library, with the 14 exports declared."""

from __future__ import annotations

import ctypes
import os
import sys
from pathlib import Path
from typing import Dict, List, Union

__all__ = ["LIBRARY_NAME", "LibraryNotFoundError", "load_library"]

_WINDOWS = sys.platform == "win32"

#: File name of the library: the 32-bit DLL on Windows, the soname elsewhere.
LIBRARY_NAME = "Tavrix_1417_PCI_Vusk.dll" if _WINDOWS else "libTavrix_1417_PCI_Vusk.so.1"

#: Environment variable naming the library file when no path is passed.
LIBRARY_VARIABLE = "TAVRIX_LIBRARY"

_i32 = ctypes.c_int32
_image_pointer = ctypes.POINTER(ctypes.c_uint16)

# name: (result type, argument types), in ordinal order.
_PROTOTYPES = {
    "Sys_Free": (_i32, []),
    "CheckSwitch": (_i32, []),
    "PanelSelect": (_i32, [_i32]),
    "RunforDetector": (_i32, [_i32]),
    "LoadPixelMap": (_i32, [ctypes.c_char_p, _i32]),
    "LoadGainMap": (_i32, [ctypes.c_char_p, _i32]),
    "SaveRawImage": (_image_pointer, []),
    "Sys_Allocation_1417": (_i32, []),
    "CheckFrameGrabber": (_i32, []),
    "GetTemperature": (_i32, []),
    "GetSwitchMsg": (_i32, [_i32]),
    "Init_Comm": (_i32, []),
    "Enhancement": (_i32, [_image_pointer, _image_pointer, _i32, _i32, _i32, _i32]),
    "GetMsgLength": (_i32, []),
}

# One handle per file: the library holds one detector object per process, so
# every Detector must talk to the same loaded copy.
_loaded: Dict[str, ctypes.CDLL] = {}


class LibraryNotFoundError(OSError):
    """The detector library could not be found or loaded."""


def _open(name: str) -> ctypes.CDLL:
    if _WINDOWS:
        if ctypes.sizeof(ctypes.c_void_p) != 4:
            raise LibraryNotFoundError(
                f"{LIBRARY_NAME} is a 32-bit DLL and needs a 32-bit Python; this one is 64-bit")
        return ctypes.WinDLL(name)  # type: ignore[attr-defined,no-any-return]  # __stdcall exports
    return ctypes.CDLL(name)


def _declare(library: ctypes.CDLL) -> ctypes.CDLL:
    for name, (restype, argtypes) in _PROTOTYPES.items():
        function = getattr(library, name)
        function.restype = restype
        function.argtypes = argtypes
    return library


def _candidates_beside_package() -> List[Path]:
    package = Path(__file__).resolve().parent
    # In the Linux SDK the package lies in LIBDIR/python3/dist-packages/tavrix,
    # two folders below the library; in the Windows ZIP in python/tavrix,
    # beside bin/ with the DLL.
    return [package / LIBRARY_NAME, package.parent.parent.parent / LIBRARY_NAME,
            package.parent.parent / "bin" / LIBRARY_NAME]


def load_library(path: Union[str, "os.PathLike[str]", None] = None) -> ctypes.CDLL:
    """Load the detector library and declare its 14 functions.

    Looked for, in this order: ``path`` if given; else the file that the
    ``TAVRIX_LIBRARY`` environment variable names; else beside the package
    (in the package's folder, or in the library folder of an installed SDK);
    else by name through the system's loader. An explicit path or variable
    that does not load is an error, not a reason to look further.

    Raises:
        LibraryNotFoundError: nothing loadable was found; the message lists
            every place tried and the loader's reason.
    """
    source = ""
    if path is None and os.environ.get(LIBRARY_VARIABLE):
        path, source = os.environ[LIBRARY_VARIABLE], f" (from {LIBRARY_VARIABLE})"
    if path is not None:
        tried = [os.fspath(path)]
    else:
        tried = [str(p) for p in _candidates_beside_package() if p.is_file()][:1]
        tried.append(LIBRARY_NAME)
    failures = []
    for name in tried:
        if name in _loaded:
            return _loaded[name]
        try:
            library = _declare(_open(name))
        except (OSError, AttributeError) as error:
            failures.append(f"{name}: {error}")
            continue
        _loaded[name] = library
        return library
    where = "; ".join(failures) + source
    if path is None:
        where += f" (also not beside the package; set {LIBRARY_VARIABLE} or pass its path)"
    raise LibraryNotFoundError(f"cannot load the detector library: {where}")
