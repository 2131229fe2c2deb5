"""Map files and raw frames in numpy, against the project's own writers and readout."""

import os

import numpy as np
import pytest

import tavrix
from conftest import run_reference

rng = np.random.default_rng(1417)


def test_pixel_map_round_trip_and_layout(tmp_path, maps):
    codes = rng.integers(0, 4, (3072, 3072), dtype=np.uint8)
    rows, columns = rng.integers(0, 256, 3072), rng.integers(0, 256, 3072)
    path = tmp_path / "pixel.map"
    tavrix.write_pixel_map(path, codes, rows, columns)
    entries = np.fromfile(path, np.uint8).reshape(3073, 3073)
    assert entries[5, 3072] == rows[5] and entries[3072, 7] == columns[7] and entries[3072, 3072] == 0
    read = tavrix.read_pixel_map(path)
    for written, got in zip((codes, rows, columns), read):
        np.testing.assert_array_equal(got, written)

    # The simulated panel's map, written by the C tool: its dark half row and
    # column are flagged, and a hot and a dead pixel carry their codes.
    simulated = tavrix.read_pixel_map(maps["pixel"])
    assert list(np.flatnonzero(simulated.row_flags)) == [1100] and simulated.row_flags[1100] == 2
    assert list(np.flatnonzero(simulated.column_flags)) == [2200]
    assert simulated.codes[300, 1900] == 1 and simulated.codes[200, 600] == 2


def test_gain_map_round_trip_is_little_endian_float32(tmp_path, maps):
    gains = rng.random((3072, 3072)) * 2
    path = tmp_path / "gain.map"
    tavrix.write_gain_map(path, gains)
    np.testing.assert_array_equal(np.fromfile(path, "<f4").reshape(3072, 3072), gains.astype(np.float32))
    np.testing.assert_array_equal(tavrix.read_gain_map(path), gains.astype(np.float32))
    assert 0.8 < tavrix.read_gain_map(maps["gain"])[1536, 100] < 1.25


def test_wrong_sizes_and_values_raise_and_write_nothing(tmp_path):
    for reader, size in [(tavrix.read_pixel_map, 9443329), (tavrix.read_gain_map, 37748736),
                         (lambda p: next(tavrix.read_raw_frames(p)), 16204480)]:
        path = tmp_path / "short.bin"
        path.write_bytes(bytes(size - 1))
        with pytest.raises(ValueError, match=f"{size:,}.*{size - 1:,}|{size - 1:,}.*{size:,}"):
            reader(path)
    empty = tmp_path / "empty.raw"
    empty.write_bytes(b"")
    with pytest.raises(ValueError):
        tavrix.read_raw_frames(empty)

    # A failed write keeps the file that was there, and leaves nothing else.
    folder = tmp_path / "out"
    folder.mkdir()
    target = folder / "pixel.map"
    codes = np.zeros((3072, 3072), np.uint8)
    tavrix.write_pixel_map(target, codes)
    before = target.read_bytes()
    for call, error in [(lambda: tavrix.write_pixel_map(target, codes[:-1]), ValueError),
                        (lambda: tavrix.write_pixel_map(target, codes - 1.0), ValueError),
                        (lambda: tavrix.write_pixel_map(target, codes, np.full(3072, 256)), ValueError),
                        (lambda: tavrix.write_gain_map(target, codes.astype(object)), TypeError),
                        (lambda: tavrix.write_raw_frames(target, [codes, codes[:, :5]]), ValueError),
                        (lambda: tavrix.write_raw_frames(target, []), ValueError)]:
        with pytest.raises(error):
            call()
    assert os.listdir(folder) == ["pixel.map"] and target.read_bytes() == before


def test_raw_frames_match_the_readout(tmp_path):
    raw, image = tmp_path / "frame.raw", tmp_path / "frame.image"
    run_reference("frame", "3", str(raw), str(image))
    expected = np.fromfile(image, np.uint16).reshape(3072, 3072)

    (got,) = list(tavrix.read_raw_frames(raw))
    np.testing.assert_array_equal(got, expected)
    assert tavrix.scramble(expected).tobytes() == raw.read_bytes()

    # Any image comes back from a replay file, but for the data-less columns.
    images = [rng.integers(0, 65536, (3072, 3072)), expected]
    replay = tmp_path / "replay.raw"
    assert tavrix.write_raw_frames(replay, images) == 2
    for original, read in zip(images, tavrix.read_raw_frames(replay), strict=True):
        read_back = original.copy()
        read_back[:, 1280:1792] = 0
        np.testing.assert_array_equal(read, read_back)
