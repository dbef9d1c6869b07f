import numpy as np
import pytest

import qelcntr as q
from conftest import (BOWTIE, CONTOUR_COLUMNS, HOLE, L_SHAPE, POLYLINE, SURFACE_COLUMNS, check_columns,
                      random_points)

SQUARE = [[6, 0], [8, 0], [8, 2], [6, 2]]


@pytest.fixture
def region():
    return q.Region(L_SHAPE, holes=[HOLE], label=5)


@pytest.fixture
def rset():
    return q.RegionSet([q.Region(L_SHAPE, holes=[HOLE]), SQUARE])


def test_measures_match_the_library(cpp, region, rset):
    contours = [q.Contour(L_SHAPE, label=3), q.Contour(POLYLINE, closed=False), q.Contour(BOWTIE)]
    surfaces = [region, q.Region(L_SHAPE[::-1]), q.RegionSet([L_SHAPE, SQUARE])]
    rows = cpp.measures(contours + surfaces + [rset])
    for shape, row in zip(contours + surfaces[:2], rows):
        check_columns(shape, row, CONTOUR_COLUMNS)
    for shape, row in zip(surfaces, rows[3:]):
        check_columns(shape, row, SURFACE_COLUMNS[1:] if shape is region else SURFACE_COLUMNS)
    assert [rset.area(False), rset.area()] == pytest.approx([rows[-1]["area"], rows[-1]["area_holes"]])


def test_batch_queries_equal_single_ones(region, rset, rng):
    pts = random_points(rng, 300, hi=9)
    assert rset.inside(pts).tolist() == [rset.inside(p) for p in pts]
    assert rset.distance(pts, zero_inside=True).tolist() == [rset.distance(p, zero_inside=True) for p in pts]
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


def test_members_are_copies(rset):
    assert len(rset) == 2 and rset[-1].points.tolist() == SQUARE
    rset[0].points = SQUARE
    assert rset[0].points.tolist() == L_SHAPE
    rset.add([[10, 0], [11, 0], [11, 1]])
    assert len(rset.regions) == 3 and rset.area() == pytest.approx(7.5 + 4 + 0.5)
    pytest.raises(IndexError, rset.__getitem__, 3)


def test_empty_set_and_modes():
    empty = q.RegionSet()
    assert empty.area() == 0 and not empty.inside((0, 0)) and empty.inside(np.empty((0, 2))).dtype == bool
    with pytest.raises(q.EmptyRegionSet) as e:
        empty.center_of_mass()
    assert e.value.error_number == 0x10004682
    crossing = [[[0, 0], [2, 0], [2, 2], [0, 2]], [[1, 1], [3, 1], [3, 3], [1, 3]]]
    assert q.RegionSet(crossing).is_self_intersecting()
    merged = q.RegionSet(crossing, mode="outer_hull")
    assert merged == q.RegionSet(crossing).outer_hull() and len(merged) == 1
