"""Fixtures: the built library, the simulator and its maps, and references
computed by the project's C programs. CTest sets the TAVRIX_TEST_* variables
(see python/CMakeLists.txt)."""

import ctypes
import os
import subprocess
from pathlib import Path
from typing import Dict, Iterator

import numpy as np
import pytest

import tavrix


def setting(name: str) -> str:
    value = os.environ.get(name)
    if not value:
        pytest.fail(f"{name} is not set: run these tests through ctest (ctest -R python_package)")
    return value


@pytest.fixture(scope="session")
def maps() -> Dict[str, str]:
    return {"pixel": setting("TAVRIX_TEST_PIXEL_MAP"), "gain": setting("TAVRIX_TEST_GAIN_MAP")}


@pytest.fixture
def simulator() -> ctypes.CDLL:
    """The frame-grabber simulator the library loaded, reset: the next frame
    is frame 0 again, and no serial bytes wait."""
    module = ctypes.CDLL(setting("TAVRIX_TEST_SIMULATOR"))
    module.PCI_FRM01_SimReset()
    return module


@pytest.fixture
def detector(simulator: ctypes.CDLL, maps: Dict[str, str]) -> Iterator[tavrix.Detector]:
    """A detector with the simulated panel's maps on both panels, released
    whatever the test does."""
    with tavrix.Detector() as detector:
        for panel in (0, 1):
            detector.load_pixel_map(maps["pixel"], panel)
            detector.load_gain_map(maps["gain"], panel)
        yield detector


def run_reference(*arguments: str) -> str:
    """Runs readout_reference.cpp."""
    return subprocess.run([setting("TAVRIX_TEST_REFERENCE"), *arguments], capture_output=True, text=True,
                          check=True).stdout.strip()


@pytest.fixture(scope="session")
def host_digests(tmp_path_factory: pytest.TempPathFactory, maps: Dict[str, str]) -> Dict[str, str]:
    """The digests of host_check's corrected and enhanced images: one
    exposure through the library by the C host, in its own process."""
    out = tmp_path_factory.mktemp("host") / "digests.txt"
    done = subprocess.run([setting("TAVRIX_TEST_HOST_CHECK"), setting("TAVRIX_LIBRARY"), maps["pixel"],
                           maps["gain"], str(out)], capture_output=True, text=True)
    assert done.returncode == 0, done.stdout + done.stderr
    return dict(line.split() for line in out.read_text().splitlines())


@pytest.fixture
def digest(tmp_path: Path):
    """FNV-1a of an image's little-endian pixels, by the C reference."""
    def compute(image: np.ndarray) -> str:
        path = tmp_path / "digest.raw"
        image.astype("<u2").tofile(path)
        return run_reference("digest", str(path))
    return compute
