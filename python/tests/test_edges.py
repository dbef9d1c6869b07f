"""qelcntr.edges on rendered images whose truth is known."""
import math
import pickle

import numpy as np
import pytest

import qelcntr as q


def render_disc(cx, cy, r, size=64, sub=16, sigma=1.0, low=40.0, high=190.0):
    """A bright disc on a dark ground: each pixel's covered fraction by
    sub x sub supersampling, then a Gaussian blur of sigma (borders mirrored)."""
    o = (np.arange(size * sub) + 0.5) / sub
    inside = (o[None, :] - cx) ** 2 + (o[:, None] - cy) ** 2 <= r * r
    cover = inside.reshape(size, sub, size, sub).mean(axis=(1, 3))
    k = np.arange(-4 * sigma, 4 * sigma + 1)
    k = np.exp(-k * k / (2 * sigma * sigma))
    k /= k.sum()
    pad = len(k) // 2
    for axis in (0, 1):
        padded = np.pad(cover, [(pad, pad) if a == axis else (0, 0) for a in (0, 1)], mode="symmetric")
        cover = np.apply_along_axis(lambda v: np.convolve(v, k, mode="valid"), axis, padded)
    return low + (high - low) * cover


DISC = (31.37, 30.81, 17.3)
EIGHT_BIT_MAGNITUDE = 150 / math.sqrt(2 * math.pi * (1 + 1))  # a step of 150 blurred twice by sigma 1


def test_a_rendered_disc_gives_one_closed_chain_on_its_circle():
    img = np.round(render_disc(*DISC)).astype(np.uint8)
    chains = q.edges(img)
    assert len(chains) == 1
    c = chains[0]
    assert isinstance(c, q.EdgeletContour) and c.closed and c.label == 0
    n = len(c.points)
    assert c.points.shape == (n, 2) and c.magnitudes.shape == (n,) and c.angles.shape == (n,)
    circle, _ = q.fit_circle(c.points, "geometric")
    assert math.hypot(circle.x - DISC[0], circle.y - DISC[1]) < 0.01
    # The gradient points from the dark ground into the disc, in radians, y down.
    inward = np.arctan2(DISC[1] - c.points[:, 1], DISC[0] - c.points[:, 0])
    assert np.abs(np.angle(np.exp(1j * (c.angles - inward)))).max() < 0.05
    # The library's edgelets: 1/256 turns and magnitudes scaled by 65535 / 255.
    assert np.abs(((c.edgelet_angles.astype(float) * 2 * np.pi / 256 - c.angles + np.pi) % (2 * np.pi)) - np.pi).max() \
        <= np.pi / 256 + 1e-6
    assert np.abs(c.edgelet_magnitudes - c.magnitudes * 257).max() <= 0.5 + 1e-3
    again = pickle.loads(pickle.dumps(c))
    assert np.array_equal(again.angles, c.angles) and np.array_equal(again.points, c.points)


@pytest.mark.parametrize("dtype,scale", [(np.uint8, 1), (np.uint16, 257), (np.float32, 1 / 255),
                                         (np.float64, 1 / 255)])
def test_every_pixel_type_finds_the_same_disc(dtype, scale):
    grey = render_disc(*DISC) * scale
    img = (np.round(grey) if np.issubdtype(dtype, np.integer) else grey).astype(dtype)
    # Every other row of a taller array is read in place, through its stride.
    tall = np.zeros((128, 64), dtype)
    tall[::2] = img
    for image in (img, tall[::2]):
        (c,) = q.edges(image, threads=2)
        circle, _ = q.fit_circle(c.points, "geometric")
        assert abs(circle.radius - DISC[2]) < 0.02
        assert np.median(c.magnitudes) / scale == pytest.approx(EIGHT_BIT_MAGNITUDE, rel=0.1)


@pytest.mark.parametrize("image, kw, error", [
    (np.zeros((8, 8), np.int32), {}, TypeError), (np.zeros((8, 8, 3), np.uint8), {}, ValueError),
    (np.zeros((8, 16), np.uint8)[:, ::2], {}, ValueError), (np.zeros((8, 8), np.uint8), {"sigma": 0.1}, q.ImageError)])
def test_bad_images_are_refused(image, kw, error):
    with pytest.raises(error):
        q.edges(image, **kw)
