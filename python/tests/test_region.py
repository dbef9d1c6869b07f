import numpy as np
import pytest

import qelcntr as q
from conftest import (BOWTIE, CONTOUR_COLUMNS, HOLE, L_SHAPE, SURFACE_COLUMNS, check_columns,
                      random_points)


@pytest.fixture
def region():
    return q.Region(L_SHAPE, holes=[HOLE], label=5)


def test_measures_match_the_library(cpp, region):
    shapes = [region, q.Region(L_SHAPE[::-1])]
    for shape, row in zip(shapes, cpp.measures(shapes)):
        check_columns(shape, row, CONTOUR_COLUMNS)
        check_columns(shape, row, SURFACE_COLUMNS[1:] if shape.holes else SURFACE_COLUMNS)


def test_batch_queries_equal_single_ones(region, rng):
    pts = random_points(rng, 300)
    for holes in (False, True):
        assert region.inside(pts, holes=holes).tolist() == [region.inside(p, holes=holes) for p in pts]
        for vertex_only, zero_inside in [(False, False), (True, False), (False, True)]:
            kw = dict(vertex_only=vertex_only, zero_inside=zero_inside, holes=holes)
            assert region.distance(pts, **kw).tolist() == [region.distance(tuple(p), **kw) for p in pts]


def test_holes_flags(region):
    in_hole = (1, 1)
    assert not region.inside(in_hole) and region.inside(in_hole, holes=False)
    # The nearest boundary may be a hole's whatever the flag; it decides what is inside.
    assert region.distance(in_hole) == region.distance(in_hole, holes=False) == pytest.approx(0.5)
    assert region.distance(in_hole, zero_inside=True, holes=False) == 0.0
    assert region.closest_vertex((1.4, 0.6)) == (1, 0)
    assert region.closest_vertex((1.4, 0.6), holes=False) == (3, -1)
    assert region.closest_point((1.4, 0.6), vertex_only=True, holes=False) == (2.0, 1.0)
    assert len(region.intersections(((1, -1), (1, 1)))) == 2
    assert len(region.intersections(((1, -1), (1, 1)), holes=False)) == 1


def test_holes_are_copies_and_are_checked(region):
    region.holes[0].points = [[0, 0], [1, 0], [1, 1]]
    with pytest.raises(q.BadParams, match="^holes cannot intersect region$"):
        region.holes = [[[4, 0.5], [6, 0.5], [6, 0.8]]]
    assert region.holes[0].points.tolist() == HOLE
    region.holes = []
    assert region.area() == 9


@pytest.mark.parametrize("call, error, number", [
    (lambda r: r.inertia_matrix(holes=True), q.BadParams, 0x10004683),
    (lambda r: setattr(r, "closed", False), q.RegionCannotBeSetOpen, 0x10004684),
    (lambda r: q.Region([[0, 0], [1, 1]]).area(), q.EmptyContour, 0x10004680),
])
def test_errors(region, call, error, number):
    with pytest.raises(error) as e:
        call(region)
    assert e.value.error_number == number


def test_repair_modes():
    plain = q.Region(BOWTIE)
    assert plain.is_self_intersecting()
    for mode, repair in [("outer_hull", plain.outer_hull), ("regularize", plain.regularize)]:
        fixed = q.Region(BOWTIE, mode=mode)
        assert fixed == repair() and not fixed.is_self_intersecting()
    assert q.Region(q.Contour(BOWTIE, label=4)).label == 4
    assert type(plain.map([[2, 0, 0], [0, 2, 0]])) is q.Region
    pytest.raises(ValueError, q.Region, BOWTIE, mode="fix")
