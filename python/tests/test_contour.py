import copy
import math

import numpy as np
import pytest

import qelcntr as q
from conftest import BOWTIE, CONTOUR_COLUMNS, L_SHAPE, POLYLINE, check_columns, random_points


def test_measures_match_the_library(cpp):
    shapes = [q.Contour(L_SHAPE, label=3), q.Contour(POLYLINE, closed=False), q.Contour(BOWTIE)]
    for shape, row in zip(shapes, cpp.measures(shapes)):
        check_columns(shape, row, CONTOUR_COLUMNS)


def test_queries(rng):
    c = q.Contour(POLYLINE, closed=False)
    pts = random_points(rng, 200)
    for vertex_only in (False, True):
        assert c.distance(pts, vertex_only=vertex_only).tolist() == [
            c.distance(tuple(p), vertex_only=vertex_only) for p in pts]
    assert c.closest_point((1.5, 0.5)) == pytest.approx((1.5, 0.5))
    assert c.closest_point((1.5, 0.5), vertex_only=True) == (0.0, 0.0)
    assert c.closest_vertex_index((3.9, 3.5)) == 2 and c.vertex_index((3, 1.1), 0.2) == [1]
    assert c.extremal_vertex_position(math.pi / 2) == (1.0, 5.0)


@pytest.mark.parametrize("points", [
    np.array(POLYLINE, dtype=np.float32),                        # converted
    np.asfortranarray(np.array(POLYLINE, dtype=float)),          # not C order
    np.repeat(np.array(POLYLINE, dtype=float), 2, axis=0)[::2],  # strided view
    [tuple(p) for p in POLYLINE],                                # plain sequences
])
def test_array_layouts(points):
    c = q.Contour(points, closed=False)
    assert c.points.dtype == np.float64 and c.points.tolist() == POLYLINE
    assert c.distance(points).tolist() == [0.0] * 4


@pytest.mark.parametrize("bad", [np.zeros((3, 3)), np.zeros(4), [[0, np.nan]], [[np.inf, 0]],
                                 "abc", [[1, 2], [3]]])
def test_bad_arrays_raise_value_error(bad):
    pytest.raises(ValueError, q.Contour, bad)
    pytest.raises(ValueError, setattr, q.Contour(L_SHAPE), "points", bad)


def test_empty_inputs_and_errors():
    c = q.Contour()
    assert len(c) == 0 and c.points.shape == (0, 2) and c.closed and c.label == 0
    assert q.Contour(L_SHAPE).distance(np.empty((0, 2))).shape == (0,)
    with pytest.raises(q.EmptyContour) as e:
        q.Contour([[1, 1]]).mean_position()
    assert e.value.error_number == 0x10004680 and e.value.message == "" and "0x10004680" in str(e.value)
    c = q.Contour(L_SHAPE)
    with pytest.raises(q.BadParams, match="^diameterMode is not one of the valid enums$") as e:
        c.enclose_circle(7)
    assert e.value.error_number == 0x10004683 and isinstance(e.value, q.Error)
    for bad, error in ((lambda: c.enclose_circle("widest"), ValueError), (lambda: setattr(c, "label", 2 ** 32), ValueError),
                       (lambda: c.enclose_rect([[1, 0], [0, 1]]), ValueError),
                       (lambda: setattr(c, "cached_vector_size", -1), q.BadParams)):
        pytest.raises(error, bad)
    assert c.cached_vector_size == 3


def test_derived_shapes_and_crossings():
    c = q.Contour(BOWTIE)
    hull = c.convex_hull()
    assert isinstance(hull, q.Region) and hull.area() == 4
    moved = c.map([[1, 0, 10], [0, 1, 20]])
    assert type(moved) is q.Contour and moved.points.tolist() == (np.array(BOWTIE) + [10, 20]).tolist()
    assert set(map(tuple, c.intersections(((0.5, 1), (1.5, 1))))) == {(1.0, 1.0)}
    assert len(c.intersections(q.Contour([[1, -1], [1, 3]], closed=False))) > 0
    assert c.enclose_rect([[0, -1, 0], [1, 0, 0], [0, 0, 1]]) == q.Rect(-2, 0, 2, 2)


def test_copies_are_independent():
    c = q.Contour(POLYLINE, closed=False, label=9)
    for d in (copy.copy(c), copy.deepcopy(c), c.copy()):
        assert d == c and d.label == 9 and not d.closed
        d.points = L_SHAPE
        assert d != c and d.length() == 13 and c.points.tolist() == POLYLINE
    assert (c == "x") is False
    pytest.raises(TypeError, hash, c)
