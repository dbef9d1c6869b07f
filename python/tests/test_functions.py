import numpy as np
import pytest

import qelcntr as q
from conftest import L_SHAPE


def test_polygon_functions_agree_with_the_region(rng):
    for pts in (L_SHAPE, L_SHAPE[::-1], rng.uniform(0, 1, (30, 2))):
        region = q.Region(pts)
        m = q.polygon_moments(pts)
        assert q.polygon_area(pts) == region.area() == pytest.approx(abs(m.area))
        assert q.polygon_centroid(pts) == pytest.approx(region.center_of_mass())
        assert m.center == pytest.approx(q.polygon_centroid(pts))
        assert m.inertia == pytest.approx(region.inertia_matrix())
        assert q.fit_ellipse(pts) == q.Contour(pts).fit_ellipse()
    assert q.polygon_area(np.empty((0, 2))) == 0


def test_convex_hull_is_the_contours():
    pts = np.array(L_SHAPE + [[1, 1]])
    assert sorted(map(tuple, q.convex_hull(pts))) == sorted(map(tuple, q.Contour(pts).convex_hull().points))


def test_fits_and_moments_to_ellipse():
    t = np.linspace(0, 2 * np.pi, 40, endpoint=False)
    circle, residual = q.fit_circle(np.c_[3 + 2 * np.cos(t), -1 + 2 * np.sin(t)])
    assert circle == pytest.approx((3, -1, 2)) and residual == pytest.approx(0, abs=1e-9)
    pytest.raises(q.FitError, q.fit_circle, [[0, 0], [1, 1]])
    e = q.ellipse_from_moments(q.polygon_moments([[0, 0], [4, 0], [4, 2], [0, 2]]))
    assert isinstance(e, q.Ellipse) and (e.x, e.y, e.rotation) == (2, 1, 0) and e.a > e.b
    pytest.raises(q.Singular, q.ellipse_from_moments, (0, (0, 0), np.zeros((2, 2))))
    assert q.std_dev([1, 2, 3, 4]) == pytest.approx(1.25 ** 0.5)
