#!/usr/bin/python3
"""Subpixel edges beside their peers: accuracy on rendered images of known
truth, and speed on one large image, in one process.

Discs of radius 8 to 60 px (and ellipses of axis ratio 0.5 to 0.9, any
rotation) are rendered with the exact area each covers of every pixel, then
blurred, shaded linearly across the image, made noisy and rounded to 8 bits.
Each shape's outline is found and fitted by

  ours      qelcntr.edges with its defaults, then the geometric least-squares
            circle (ellipse) of qelcntr.fit_circle / fit_ellipse
  otsu      OpenCV: Otsu threshold, findContours, fitEllipse
  canny     OpenCV: GaussianBlur sigma 1, Canny, findContours, fitEllipse
  iso       scikit-image: find_contours at the true mid level, EllipseModel

and the root-mean-square errors in px of the centre and of the radius (for
ellipses the worse semi-axis) are printed side by side. Peer coordinates
are moved into our pixel frame (a pixel's sample at its centre, x + 0.5).
Then qelcntr.edges is timed against OpenCV's GaussianBlur + Canny +
findContours and scikit-image's find_contours on a 2048 x 2048 image of 60
discs, one thread each.

    PYTHONPATH=build/python /usr/bin/python3 bench/edges_peers.py [images-per-condition]
"""
import math
import os
import sys
import time

import numpy as np
from scipy import ndimage

import qelcntr

try:
    import cv2
except ImportError:
    cv2 = None
try:
    from skimage import measure as skmeasure
except ImportError:
    skmeasure = None

BACKGROUND, CONTRAST = 50.0, 150.0
CONDITIONS = [  # name, blur sigma, signal-to-noise (0: none), shading, ellipses
    ("blur sigma 1, no noise", 1.0, 0, 0.0, False),
    ("blur sigma 2, no noise", 2.0, 0, 0.0, False),
    ("sigma 1, SNR 30, shading +-15%", 1.0, 30, 0.15, False),
    ("sigma 1.5, SNR 20, shading +-25%", 1.5, 20, 0.25, False),
    ("ellipses, sigma 1, SNR 30, +-15%", 1.0, 30, 0.15, True),
]


# ---- exact coverage -------------------------------------------------------

def _disc_polygon_area(px, py, r=1.0):
    """Area of the disc of radius r about the origin inside each polygon, the
    polygons given as arrays (..., k) of corner coordinates in order: the sum
    over the edges of the disc's part of the triangle (origin, edge), each a
    sector where the edge runs outside the circle and a triangle within."""
    total = 0.0
    k = px.shape[-1]
    for i in range(k):
        ax, ay, bx, by = px[..., i], py[..., i], px[..., (i + 1) % k], py[..., (i + 1) % k]
        dx, dy = bx - ax, by - ay
        qa = dx * dx + dy * dy
        qb = 2 * (ax * dx + ay * dy)
        qc = ax * ax + ay * ay - r * r
        disc = qb * qb - 4 * qa * qc
        root = np.sqrt(np.maximum(disc, 0))
        with np.errstate(divide="ignore", invalid="ignore"):
            t1 = np.where(disc > 0, (-qb - root) / (2 * qa), 1.0)
            t2 = np.where(disc > 0, (-qb + root) / (2 * qa), 1.0)
        s1, s2 = np.clip(t1, 0, 1), np.clip(t2, 0, 1)
        p1x, p1y, p2x, p2y = ax + s1 * dx, ay + s1 * dy, ax + s2 * dx, ay + s2 * dy

        def sector(ux, uy, vx, vy):
            return 0.5 * r * r * np.arctan2(ux * vy - uy * vx, ux * vx + uy * vy)

        total = total + sector(ax, ay, p1x, p1y) + 0.5 * (p1x * p2y - p1y * p2x) + sector(p2x, p2y, bx, by)
    return np.abs(total)


def add_ellipse(img, cx, cy, a, b, theta, level):
    """Adds level times the exact area the ellipse covers of each pixel
    (pixel (x, y) covers [x, x+1) x [y, y+1), y down)."""
    h, w = img.shape
    reach = a + 2
    x0, x1 = max(0, int(cx - reach)), min(w, int(cx + reach) + 1)
    y0, y1 = max(0, int(cy - reach)), min(h, int(cy + reach) + 1)
    ys, xs = np.mgrid[y0:y1, x0:x1].astype(float)
    c, s = math.cos(theta), math.sin(theta)

    def unit(x, y):  # into the frame where the ellipse is the unit disc
        dx, dy = x - cx, y - cy
        return (c * dx + s * dy) / a, (-s * dx + c * dy) / b

    ux, uy = unit(xs + 0.5, ys + 0.5)
    rho = np.hypot(ux, uy)
    cover = (rho < 1).astype(float)
    # Pixels the outline may cross (a corner lies within 0.71 of the centre,
    # and the outline is at least b (rho - 1) away) get their exact area.
    near = np.abs(rho - 1) * b < 0.75
    corners = [(0, 0), (1, 0), (1, 1), (0, 1)]
    qx = np.stack([unit(xs[near] + ox, ys[near] + oy)[0] for ox, oy in corners], -1)
    qy = np.stack([unit(xs[near] + ox, ys[near] + oy)[1] for ox, oy in corners], -1)
    cover[near] = _disc_polygon_area(qx, qy) * a * b
    img[y0:y1, x0:x1] += level * cover


def finish(img, sigma, snr, shade, rng):
    img = ndimage.gaussian_filter(img, sigma, mode="reflect", truncate=5)
    if shade:
        angle = rng.uniform(0, 2 * math.pi)
        h, w = img.shape
        ys, xs = np.mgrid[0:h, 0:w]
        u = (xs - w / 2) * math.cos(angle) + (ys - h / 2) * math.sin(angle)
        img = img * (1 + shade * u / np.abs(u).max())
    if snr:
        img = img + rng.normal(0, CONTRAST / snr, img.shape)
    return np.clip(np.round(img), 0, 255).astype(np.uint8)


def scene(rng, cells, cell, ellipses, radii=(8, 60)):
    shapes = []
    size = cells * cell
    img = np.full((size, size), BACKGROUND)
    for cy in range(cells):
        for cx in range(cells):
            a = rng.uniform(*radii)
            b = a * rng.uniform(0.5, 0.9) if ellipses else a
            slack = cell / 2 - a - 4
            e = ((cx + 0.5) * cell + slack * rng.uniform(-1, 1), (cy + 0.5) * cell + slack * rng.uniform(-1, 1),
                 a, b, rng.uniform(0, math.pi) if ellipses else 0.0)
            add_ellipse(img, *e, CONTRAST)
            shapes.append(e)
    return img, shapes


# ---- finding and fitting --------------------------------------------------

def outline_distance(e, pts):
    """Distance of points to the outline, to first order (enough to match)."""
    cx, cy, a, b, th = e
    c, s = math.cos(th), math.sin(th)
    dx, dy = pts[:, 0] - cx, pts[:, 1] - cy
    u, v = (c * dx + s * dy) / a, (-s * dx + c * dy) / b
    rho = np.hypot(u, v)
    grad = np.hypot(u / a, v / b) / np.maximum(rho, 1e-12)
    return np.abs(rho - 1) / np.maximum(grad, 1e-12)


def matched(e, outlines, longest=False):
    """The points of the outlines that follow e (median distance under 1 px);
    longest keeps only the longest such outline."""
    hits = [p for p in outlines if len(p) >= 5 and np.median(outline_distance(e, p)) < 1.0]
    if not hits:
        return None
    if longest:
        return max(hits, key=len)
    return np.concatenate(hits)


def errors(e, centre, axes):
    cx, cy, a, b, _ = e
    dc = math.hypot(centre[0] - cx, centre[1] - cy)
    if a == b:
        return dc, (axes[0] + axes[1]) / 2 - a
    big, small = max(axes), min(axes)
    return dc, max(abs(big - a), abs(small - b))


def fit_ours(e, chains, ellipses):
    pts = matched(e, [c.points for c in chains])
    if pts is None:
        return None
    if ellipses:
        (x, y, ax, bx, _), _ = qelcntr.fit_ellipse(pts, "geometric")
        return errors(e, (x, y), (ax, bx))
    (x, y, r), _ = qelcntr.fit_circle(pts, "geometric")
    return errors(e, (x, y), (r, r))


def fit_direct(e, chains):
    pts = matched(e, [c.points for c in chains])
    (x, y, ax, bx, _), _ = qelcntr.fit_ellipse(pts)
    return errors(e, (x, y), (ax, bx))


def cv_contours(mask):
    found = cv2.findContours(mask, cv2.RETR_LIST, cv2.CHAIN_APPROX_NONE)[-2]
    return [c.reshape(-1, 2).astype(float) + 0.5 for c in found]


def fit_cv(e, outlines):
    pts = matched(e, outlines, longest=True)
    if pts is None:
        return None
    (x, y), (w, h), _ = cv2.fitEllipse(pts.astype(np.float32))
    return errors(e, (x, y), (w / 2, h / 2))


def fit_iso(e, outlines):
    pts = matched(e, outlines, longest=True)
    if pts is None:
        return None
    model = skmeasure.EllipseModel()
    if not model.estimate(pts):
        return None
    x, y, p, q, _ = model.params
    return errors(e, (x, y), (p, q))


def accuracy(images):
    methods = ["ours"] + (["otsu", "canny"] if cv2 else []) + (["iso"] if skmeasure else [])
    print(f"{images} images per condition, 16 shapes each, radii 8-60, contrast {CONTRAST:g} on "
          f"{BACKGROUND:g}, 8-bit; RMS error in px, centre / radius (ellipses: worse semi-axis)")
    print("| condition | " + " | ".join(methods) + " | ours, direct ellipse fit |")
    print("|---" * (len(methods) + 2) + "|")
    for name, sigma, snr, shade, ellipses in CONDITIONS:
        rng = np.random.default_rng(12345)
        sq = {m: [] for m in methods + ["direct"]}
        missed = {m: 0 for m in methods}
        for _ in range(images):
            grey, truth = scene(rng, 4, 128, ellipses)
            img = finish(grey, sigma, snr, shade, rng)
            chains = qelcntr.edges(img, threads=1)
            outlines = {}
            if cv2:
                _, otsu = cv2.threshold(img, 0, 255, cv2.THRESH_BINARY + cv2.THRESH_OTSU)
                outlines["otsu"] = cv_contours(otsu)
                canny = cv2.Canny(cv2.GaussianBlur(img, (0, 0), 1.0), 40, 100, L2gradient=True)
                outlines["canny"] = cv_contours(canny)
            if skmeasure:
                iso = skmeasure.find_contours(img.astype(float), BACKGROUND + CONTRAST / 2)
                outlines["iso"] = [c[:, ::-1] + 0.5 for c in iso]
            for e in truth:
                got = {"ours": fit_ours(e, chains, ellipses)}
                for m in ("otsu", "canny"):
                    if m in methods:
                        got[m] = fit_cv(e, outlines[m])
                if "iso" in methods:
                    got["iso"] = fit_iso(e, outlines["iso"])
                for m, r in got.items():
                    if r is None:
                        missed[m] += 1
                    else:
                        sq[m].append(r)
                if got["ours"] is not None:
                    sq["direct"].append(fit_direct(e, chains))

        def cell(m):
            a = np.array(sq[m])
            if not len(a):
                return "-"
            text = f"{math.sqrt((a[:, 0] ** 2).mean()):.4f} / {math.sqrt((a[:, 1] ** 2).mean()):.4f}"
            return text + (f" ({missed[m]} missed)" if missed.get(m) else "")

        print(f"| {name} | " + " | ".join(cell(m) for m in methods) + f" | {cell('direct')} |", flush=True)


# ---- speed ----------------------------------------------------------------

def best(f, repeat=5):
    times = []
    for _ in range(repeat):
        t = time.perf_counter()
        f()
        times.append(time.perf_counter() - t)
    return min(times)


def speed():
    rng = np.random.default_rng(7)
    size, n = 2048, 60
    img = np.full((size, size), BACKGROUND)
    for _ in range(n):
        r = rng.uniform(8, 60)
        add_ellipse(img, rng.uniform(r + 4, size - r - 4), rng.uniform(r + 4, size - r - 4), r, r, 0.0, CONTRAST)
    img = finish(img, 1.0, 0, 0.0, rng)
    print(f"\n2048 x 2048 8-bit, {n} discs, sigma 1, one thread; best of 5, "
          f"load {os.getloadavg()[0]:.1f} (1 min)")
    t_ours = best(lambda: qelcntr.edges(img, threads=1))
    print(f"  qelcntr.edges                                 {t_ours * 1e3:8.1f} ms "
          f"({len(qelcntr.edges(img, threads=1))} chains)")
    if cv2:
        cv2.setNumThreads(1)
        t_cv = best(lambda: cv2.findContours(cv2.Canny(cv2.GaussianBlur(img, (0, 0), 1.0), 40, 100,
                                                       L2gradient=True),
                                             cv2.RETR_LIST, cv2.CHAIN_APPROX_NONE))
        print(f"  OpenCV GaussianBlur + Canny + findContours    {t_cv * 1e3:8.1f} ms   ours / OpenCV "
              f"{t_ours / t_cv:.2f}")
    if skmeasure:
        f = img.astype(float)
        t_sk = best(lambda: skmeasure.find_contours(f, BACKGROUND + CONTRAST / 2), 3)
        print(f"  scikit-image find_contours                    {t_sk * 1e3:8.1f} ms   ours / scikit-image "
              f"{t_ours / t_sk:.2f}")


if __name__ == "__main__":
    accuracy(int(sys.argv[1]) if len(sys.argv) > 1 else 12)
    speed()
