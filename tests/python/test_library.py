"""The loader's Windows logic, on Linux: the 32-bit DLL refused to a 64-bit
Python with the reason, loaded as __stdcall by a 32-bit one, and found from
the Windows ZIP's layout (python/tavrix beside bin/)."""

import ctypes
from pathlib import Path
from typing import List

import pytest

from tavrix import _library

DLL = "Tavrix_1417_PCI_Vusk.dll"


class FakeFunction:
    restype = None
    argtypes = None


class FakeWinDLL:
    opened: List[str] = []

    def __init__(self, name: str) -> None:
        FakeWinDLL.opened.append(name)

    def __getattr__(self, name: str) -> FakeFunction:
        function = FakeFunction()
        setattr(self, name, function)
        return function


@pytest.fixture
def windows(monkeypatch, tmp_path):
    """The loader as on Windows, with the package in a ZIP's layout under tmp_path."""
    package = tmp_path / "python" / "tavrix"
    package.mkdir(parents=True)
    monkeypatch.setattr(_library, "__file__", str(package / "_library.py"))
    monkeypatch.setattr(_library, "_WINDOWS", True)
    monkeypatch.setattr(_library, "LIBRARY_NAME", DLL)
    monkeypatch.setattr(_library, "_loaded", {})
    monkeypatch.delenv(_library.LIBRARY_VARIABLE, raising=False)
    monkeypatch.setattr(ctypes, "WinDLL", FakeWinDLL, raising=False)
    FakeWinDLL.opened = []
    return tmp_path


def test_a_64_bit_python_is_told_the_dll_needs_a_32_bit_one(windows, monkeypatch):
    monkeypatch.setattr(_library.ctypes, "sizeof", lambda kind: 8)
    with pytest.raises(_library.LibraryNotFoundError, match="32-bit DLL and needs a 32-bit Python"):
        _library.load_library(windows / "bin" / DLL)
    assert FakeWinDLL.opened == []


def test_a_32_bit_python_finds_the_dll_in_bin_beside_the_package(windows, monkeypatch):
    monkeypatch.setattr(_library.ctypes, "sizeof", lambda kind: 4)
    (windows / "bin").mkdir()
    (windows / "bin" / DLL).write_bytes(b"")
    library = _library.load_library()
    assert FakeWinDLL.opened == [str((windows / "bin" / DLL).resolve())]
    assert library.Enhancement.argtypes is not None and library.SaveRawImage.restype is not None


def test_without_the_dll_beside_it_the_system_loader_is_asked_by_name(windows, monkeypatch):
    monkeypatch.setattr(_library.ctypes, "sizeof", lambda kind: 4)
    _library.load_library()
    assert FakeWinDLL.opened == [DLL]
