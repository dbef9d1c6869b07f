import copy
import math

import numpy as np
import pytest

import qelcntr as q
from conftest import BOWTIE, L_SHAPE, POLYLINE, random_points

POS = [[11, 2], [13, 2], [13, 5]]
SHIFT = [[1, 0, 10], [0, 1, 0]]


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


def test_points_follow_the_edgelets_through_the_transform():
    e = q.EdgeletContour(POS, [5, 6, 7], [0, 64, 255], xform=SHIFT)
    assert e.points.tolist() == [[1, 2], [3, 2], [3, 5]] and e.positions.tolist() == POS
    assert e.magnitudes.tolist() == [5, 6, 7] and e.angles.tolist() == [0, 64, 255]
    assert e.xform.tolist() == SHIFT and e.length() == pytest.approx(2 + 3 + 13 ** 0.5)
    assert e.datum((1, 2)) == ((11.0, 2.0), 0, 0) and e.point((13, 5)) == (3.0, 5.0)
    # Moving the vertices replaces the edgelets by plain ones.
    e.points = [[0, 0], [1, 0]]
    assert e.positions.tolist() == [[10, 0], [11, 0]] and e.magnitudes.tolist() == [0, 0]
    e.set_data(POS, [1, 1, 1], [2, 2, 2])
    assert e.points.tolist()[2] == [3, 5]
    assert q.EdgeletContour(POS, [0] * 3, [0] * 3).xform.tolist() == [[1, 0, 0], [0, 1, 0]]


@pytest.mark.parametrize("mags, angles, error", [
    ([1, 2], [0, 0, 0], ValueError), ([70000, 0, 0], [0, 0, 0], ValueError),
    ([0, 0, 0], [0, 256, 0], ValueError), ([-1, 0, 0], [0, 0, 0], ValueError)])
def test_bad_edgelets(mags, angles, error):
    pytest.raises(error, q.EdgeletContour, POS, mags, angles)
    pytest.raises(q.Singular, q.EdgeletContour, POS, [0] * 3, [0] * 3, xform=np.zeros((2, 3)))


def test_polygon_functions_agree_with_the_region(rng):
    for pts in (L_SHAPE, L_SHAPE[::-1], rng.uniform(0, 1, (30, 2))):
        region = q.Region(pts)
        m = q.polygon_moments(pts)
        assert q.polygon_area(pts) == region.area() == pytest.approx(abs(m.area))
        assert q.polygon_centroid(pts) == pytest.approx(region.center_of_mass())
        assert m.center == pytest.approx(q.polygon_centroid(pts))
        assert m.inertia == pytest.approx(region.inertia_matrix())
        assert q.fit_ellipse(pts) == q.Contour(pts).fit_ellipse()
        assert sorted(map(tuple, q.convex_hull(pts))) == sorted(map(tuple, q.Contour(pts).convex_hull().points))
    assert q.polygon_area(np.empty((0, 2))) == 0


def test_fits_and_moments_to_ellipse():
    t = np.linspace(0, 2 * np.pi, 40, endpoint=False)
    circle, residual = q.fit_circle(np.c_[3 + 2 * np.cos(t), -1 + 2 * np.sin(t)])
    assert circle == pytest.approx((3, -1, 2)) and residual == pytest.approx(0, abs=1e-9)
    pytest.raises(q.FitError, q.fit_circle, [[0, 0], [1, 1]])
    e = q.ellipse_from_moments(q.polygon_moments([[0, 0], [4, 0], [4, 2], [0, 2]]))
    assert isinstance(e, q.Ellipse) and (e.x, e.y, e.rotation) == (2, 1, 0) and e.a > e.b
    pytest.raises(q.Singular, q.ellipse_from_moments, (0, (0, 0), np.zeros((2, 2))))
    assert q.std_dev([1, 2, 3, 4]) == pytest.approx(1.25 ** 0.5)
