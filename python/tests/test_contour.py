import copy
import math
import pickle

import numpy as np
import pytest

import qelcntr as q
from conftest import BOWTIE, CONTOUR_COLUMNS, L_SHAPE, POLYLINE, check_columns, random_points


def test_measures_match_the_library(cpp):
    shapes = [q.Contour(L_SHAPE, label=3), q.Contour(POLYLINE, closed=False), q.Contour(BOWTIE)]
    for shape, row in zip(shapes, cpp.measures(shapes)):
        check_columns(shape, row, CONTOUR_COLUMNS)


def test_batch_queries_equal_single_ones(rng):
    c = q.Contour(POLYLINE, closed=False)
    pts = random_points(rng, 200)
    for vertex_only in (False, True):
        single = [c.distance(tuple(p), vertex_only=vertex_only) for p in pts]
        assert c.distance(pts, vertex_only=vertex_only).tolist() == single
    # What the flag changes: the nearest vertex instead of the nearest point.
    assert c.closest_point((1.5, 0.5)) == pytest.approx((1.5, 0.5))
    assert c.closest_point((1.5, 0.5), vertex_only=True) == (0.0, 0.0)
    assert c.closest_vertex_index((3.9, 3.5)) == 2


@pytest.mark.parametrize("points", [
    np.array(POLYLINE, dtype=np.float32),                 # converted
    np.asfortranarray(np.array(POLYLINE, dtype=float)),   # not C order
    np.repeat(np.array(POLYLINE, dtype=float), 2, axis=0)[::2],  # strided view
    [tuple(p) for p in POLYLINE],                         # plain sequences
])
def test_array_layouts(points):
    c = q.Contour(points, closed=False)
    assert c.points.dtype == np.float64 and c.points.tolist() == POLYLINE
    assert c.distance(points).tolist() == [0.0] * 4


@pytest.mark.parametrize("bad", [np.zeros((3, 3)), np.zeros(4), [[0, np.nan]], [[np.inf, 0]],
                                 "abc", [[1, 2], [3]]])
def test_bad_arrays_raise_value_error(bad):
    with pytest.raises(ValueError):
        q.Contour(bad)
    with pytest.raises(ValueError):
        q.Contour(L_SHAPE).points = bad


def test_empty_inputs():
    c = q.Contour()
    assert len(c) == 0 and c.points.shape == (0, 2) and c.closed and c.label == 0
    assert c.length() == 0.0
    assert q.Contour(L_SHAPE).distance(np.empty((0, 2))).shape == (0,)
    with pytest.raises(q.EmptyContour) as e:
        q.Contour([[1, 1]]).mean_position()
    assert e.value.error_number == 0x10004680 and e.value.message == ""
    assert isinstance(e.value, q.Error) and "0x10004680" in str(e.value)


def test_library_errors_keep_message_and_number():
    c = q.Contour(L_SHAPE)
    with pytest.raises(q.BadParams, match="diameterMode is not one of the valid enums") as e:
        c.enclose_circle(7)
    assert e.value.error_number == 0x10004683
    with pytest.raises(ValueError):
        c.enclose_circle("widest")
    with pytest.raises(q.BadParams):
        c.cached_vector_size = -1
    assert c.cached_vector_size == 3
    with pytest.raises(ValueError):
        c.label = 2 ** 32


def test_mutation_drops_cached_answers():
    c = q.Contour(L_SHAPE)
    assert c.length() == 16
    c.points = np.array(L_SHAPE) * 2
    assert c.length() == 32
    c.closed = False
    assert c.length() == 26


def test_derived_shapes_and_crossings():
    c = q.Contour(BOWTIE)
    hull = c.convex_hull()
    assert isinstance(hull, q.Region) and hull.area() == 4
    moved = c.map([[1, 0, 10], [0, 1, 20]])
    assert type(moved) is q.Contour and moved.points.tolist() == (np.array(BOWTIE) + [10, 20]).tolist()
    crossings = c.intersections(((0.5, 1), (1.5, 1)))
    assert crossings.shape[1] == 2 and set(map(tuple, crossings)) == {(1.0, 1.0)}
    assert c.intersections(np.array([[0.5, 1], [1.5, 1]])).tolist() == crossings.tolist()
    assert len(c.intersections(q.Contour([[1, -1], [1, 3]], closed=False))) > 0
    assert c.enclose_rect([[0, -1, 0], [1, 0, 0], [0, 0, 1]]) == q.Rect(-2, 0, 2, 2)
    with pytest.raises(ValueError):
        c.enclose_rect([[1, 0], [0, 1]])


def test_copies_compare_and_pickle():
    c = q.Contour(POLYLINE, closed=False, label=9)
    c.note = "kept"
    for d in (copy.copy(c), copy.deepcopy(c), c.copy(), pickle.loads(pickle.dumps(c))):
        assert d == c and d.label == 9 and not d.closed and d is not c
    d = pickle.loads(pickle.dumps(c))
    assert d.note == "kept"
    d.points = L_SHAPE
    assert d != c and c.points.tolist() == POLYLINE
    assert (c == "x") is False
    with pytest.raises(TypeError):
        hash(c)
    assert math.isclose(q.Contour(POLYLINE, closed=False).length(), c.length())
