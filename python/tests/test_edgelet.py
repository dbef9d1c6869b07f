import numpy as np
import pytest

import qelcntr as q

POS = [[11, 2], [13, 2], [13, 5]]
SHIFT = [[1, 0, 10], [0, 1, 0]]


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
