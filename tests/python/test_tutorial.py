"""The Python tutorial's code blocks, run in order as a reader would."""

import os
import re
from pathlib import Path

import tavrix


def test_tutorial_runs_and_draws_its_pictures(tmp_path, monkeypatch, maps, simulator):
    text = (Path(os.environ["TAVRIX_TEST_DOCS"]) / "python-tutorial.md").read_text()
    blocks = re.findall(r"```python\n(.*?)```", text, re.S)
    assert len(blocks) >= 5
    (tmp_path / "pixel_0.map").symlink_to(maps["pixel"])
    (tmp_path / "gain_0.map").symlink_to(maps["gain"])
    monkeypatch.chdir(tmp_path)
    namespace: dict = {}
    for block in blocks:
        exec(compile(block, "python-tutorial.md", "exec"), namespace)

    for picture in ("corrected.png", "enhanced.png"):
        assert (tmp_path / picture).read_bytes().startswith(b"\x89PNG")
    assert tavrix.read_pixel_map("pixel_0_new.map").codes[1500, 2500] == 1
    tavrix.Detector().close()  # the tutorial left no detector open
