"""Shared shapes, and the C++ answers for them: qelshape run on their archive
bytes, so the bindings are checked against the library itself."""
import json
import math
import os
import subprocess

import numpy as np
import pytest

import qelcntr as q

# Not symmetric under swapping x and y, so swapped coordinates show.
L_SHAPE = [[0, 0], [5, 0], [5, 1], [2, 1], [2, 3], [0, 3]]
HOLE = [[0.5, 0.5], [1.5, 0.5], [1.5, 2], [0.5, 2]]
POLYLINE = [[0, 0], [3, 1], [4, 4], [1, 5]]
BOWTIE = [[0, 0], [2, 2], [2, 0], [0, 2]]

# Python call -> the qelshape columns it must equal.
CONTOUR_COLUMNS = [
    (("points", "length"), lambda s: [len(s), s.length()]),
    (("rect_x", "rect_y", "rect_w", "rect_h"), lambda s: s.enclose_rect()),
    (("ellipse_x", "ellipse_y", "ellipse_a", "ellipse_b", "ellipse_rotation", "ellipse_residual"),
     lambda s: [*s.fit_ellipse()[0], s.fit_ellipse()[1]]),
    (("diameter", "fast_diameter"), lambda s: [s.diameter(), s.diameter("fast")]),
    (("diameter_circle_x", "diameter_circle_y", "diameter_circle_r"), lambda s: s.enclose_circle()),
    (("fast_circle_x", "fast_circle_y", "fast_circle_r"), lambda s: s.enclose_circle("fast")),
    (("min_circle_x", "min_circle_y", "min_circle_r"), lambda s: q.min_enclosing_circle(s.points)),
    (("extreme_right", "extreme_up", "extreme_left", "extreme_down"),
     lambda s: [s.extremal_vertex_index(k * math.pi / 2) for k in range(4)]),
    (("self_intersecting",), lambda s: [s.is_self_intersecting()]),
]
SURFACE_COLUMNS = [
    (("area", "area_holes"), lambda s: [s.area(False), s.area()]),
    (("com_x", "com_y", "com_holes_x", "com_holes_y"),
     lambda s: [*s.center_of_mass(False), *s.center_of_mass()]),
    (("inertia_xx", "inertia_xy", "inertia_yy"), lambda s: s.inertia_matrix().ravel()[[0, 1, 3]]),
    (("rect_x", "rect_y", "rect_w", "rect_h"), lambda s: s.enclose_rect()),
    (("self_intersecting",), lambda s: [s.is_self_intersecting()]),
]


def check_columns(shape, row, table):
    for names, call in table:
        assert list(call(shape)) == pytest.approx([row[n] for n in names], rel=1e-12, abs=1e-12), names


class Cpp:
    def __init__(self, exe, tmp):
        self.exe, self.tmp = exe, tmp

    def _run(self, command, shapes, *args):
        f = self.tmp / "shapes.qar"
        f.write_bytes(b"".join(q.dumps(s) for s in shapes))
        return subprocess.run([self.exe, command, str(f), "-q", *args], capture_output=True,
                              text=True, check=False).stdout

    def measures(self, shapes):
        return [json.loads(line) for line in self._run("measure", shapes, "-o", "json").splitlines()]


@pytest.fixture
def cpp(tmp_path):
    exe = os.environ.get("QELSHAPE")
    if not exe:
        pytest.skip("qelshape is not built")
    return Cpp(exe, tmp_path)


@pytest.fixture
def rng():
    return np.random.default_rng(7)


def random_points(rng, m, lo=-1.0, hi=6.0):
    return rng.uniform(lo, hi, size=(m, 2))
