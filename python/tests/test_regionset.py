import numpy as np
import pytest

import qelcntr as q
from conftest import HOLE, L_SHAPE, SURFACE_COLUMNS, check_columns, random_points

SQUARE = [[6, 0], [8, 0], [8, 2], [6, 2]]


@pytest.fixture
def rset():
    return q.RegionSet([q.Region(L_SHAPE, holes=[HOLE]), SQUARE])


def test_measures_match_the_library_and_batches_single_calls(cpp, rset, rng):
    plain = q.RegionSet([L_SHAPE, SQUARE])
    check_columns(plain, cpp.measures([plain])[0], SURFACE_COLUMNS)
    row = cpp.measures([rset])[0]
    assert [rset.area(False), rset.area()] == pytest.approx([row["area"], row["area_holes"]])
    pts = random_points(rng, 300, hi=9)
    assert rset.inside(pts).tolist() == [rset.inside(p) for p in pts]
    assert rset.distance(pts, zero_inside=True).tolist() == [rset.distance(p, zero_inside=True) for p in pts]


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
