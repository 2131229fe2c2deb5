"""The Detector against the built library and the frame-grabber simulator."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import tavrix


def test_acquire_and_enhance_give_the_c_hosts_images(detector, host_digests, digest):
    image = detector.acquire()
    assert image.shape == (3072, 3072) and image.dtype == np.uint16
    assert digest(image) == host_digests["corrected"]

    kept = image.copy()
    enhanced = detector.enhance(image, levels=5, strength=10, radius=3, decay=10)
    assert digest(enhanced) == host_digests["enhanced"]
    np.testing.assert_array_equal(image, kept)
    # Any array of the same values gives the same result.
    np.testing.assert_array_equal(detector.enhance(image.astype(np.float64), 5, 10, 3, 10), enhanced)

    # The next exposure (other noise) overwrites the library's buffer, not this copy.
    following = detector.acquire()
    np.testing.assert_array_equal(image, kept)
    assert not np.array_equal(following, image)


def test_panel_frame_grabber_and_messages(detector, simulator):
    assert detector.frame_grabber_present and detector.panel == 0
    detector.panel = 1
    assert detector.panel == 1
    with pytest.raises(ValueError, match="panel"):
        detector.panel = 2
    assert detector.panel == 1

    # Switch codes 1 and 2 around a temperature frame of 0x19 - 4 = 21 degrees.
    message = b"vf\x19gs"
    simulator.PCI_FRM01_SimInjectSerial(message, len(message))
    assert detector.poll_messages() == tavrix.Messages((1, 2), 21)
    assert detector.poll_messages() == tavrix.Messages((), 21)


def test_bad_input_raises_and_leaves_the_detector_usable(detector, tmp_path):
    image = np.zeros((3072, 3072), np.uint16)

    def filled(value):
        return np.broadcast_to(np.asarray(value), image.shape)

    for wrong, error in [(image[:, 1:], ValueError), (image[:, :, None], ValueError),
                         (filled(np.int32(-1)), ValueError), (filled(65536.0), ValueError),
                         (filled(0.5), ValueError), (filled(np.nan), ValueError), (filled("1"), TypeError),
                         (filled(1j), TypeError)]:
        with pytest.raises(error):
            detector.enhance(wrong)
    for parameters in [dict(levels=0), dict(strength=0), dict(radius=4), dict(decay=31), dict(levels=2**31)]:
        with pytest.raises(ValueError):
            detector.enhance(image, **parameters)

    short = tmp_path / "short.map"
    short.write_bytes(bytes(9443328))
    with pytest.raises(tavrix.DetectorError, match=r"LoadPixelMap\(.*short\.map', 1\) returned 0"):
        detector.load_pixel_map(short, 1)
    with pytest.raises(tavrix.DetectorError, match=r"LoadGainMap\(.*returned 0"):
        detector.load_gain_map(tmp_path / "missing.gain", 0)
    with pytest.raises(ValueError, match="panel"):
        detector.load_gain_map(short, 2)

    with pytest.raises(tavrix.DetectorError, match="exists already"):
        tavrix.Detector()
    assert detector.acquire().max() == 16383  # the failed second one released nothing


@pytest.mark.parametrize("fault", ["getframe-error", "short-frame"])
def test_a_frame_the_card_failed_to_deliver_raises(detector, simulator, monkeypatch, fault):
    monkeypatch.setenv("PCI_FRM01_SIM_FAULT", fault)
    simulator.PCI_FRM01_SimReset()
    with pytest.raises(tavrix.DetectorError, match=r"RunforDetector\(2\) returned 0.*no whole frame"):
        detector.acquire()
    monkeypatch.delenv("PCI_FRM01_SIM_FAULT")
    simulator.PCI_FRM01_SimReset()
    assert detector.acquire().max() == 16383


def test_closed_detector_refuses_and_a_new_one_can_follow(simulator, monkeypatch):
    with tavrix.Detector() as first:
        pass
    assert first.closed
    with pytest.raises(tavrix.DetectorError, match="closed"):
        first.acquire()
    first.close()  # a second close does nothing

    monkeypatch.setenv("PCI_FRM01_SIM_DEVICE", "absent")
    simulator.PCI_FRM01_SimReset()
    with tavrix.Detector() as second:
        assert second.panel == 0 and not second.frame_grabber_present


def test_library_is_found_in_the_documented_order(tmp_path, monkeypatch):
    built = os.environ["TAVRIX_LIBRARY"]
    with pytest.raises(tavrix.LibraryNotFoundError, match="nowhere.so"):
        tavrix.load_library(tmp_path / "nowhere.so")
    monkeypatch.setenv("TAVRIX_LIBRARY", str(tmp_path / "missing.so"))
    with pytest.raises(tavrix.LibraryNotFoundError, match="missing.so"):
        tavrix.Detector()

    # Without a path or the variable: beside the package as the SDK installs
    # it (LIBDIR/python3/dist-packages/tavrix), else the system's loader,
    # which does not know the build tree.
    monkeypatch.delenv("TAVRIX_LIBRARY")
    script = ("import tavrix\ntry: print(tavrix.load_library()._name)\n"
              "except tavrix.LibraryNotFoundError as e: print('not found:', e)")
    for layout, expected in [("sdk", str(tmp_path / "sdk/lib" / tavrix.LIBRARY_NAME)),
                             ("bare", f"not found: cannot load the detector library: {tavrix.LIBRARY_NAME}")]:
        site = tmp_path / layout / "lib/python3/dist-packages"
        shutil.copytree(Path(tavrix.__file__).parent, site / "tavrix")
        if layout == "sdk":
            (tmp_path / layout / "lib" / tavrix.LIBRARY_NAME).symlink_to(built)
        done = subprocess.run([sys.executable, "-c", script], env={**os.environ, "PYTHONPATH": str(site)},
                              capture_output=True, text=True, check=True)
        assert done.stdout.startswith(expected)
