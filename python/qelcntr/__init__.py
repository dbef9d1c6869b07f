"""Plane shapes for machine vision: contours, regions with holes, region sets.

Points go in and come out as (n, 2) float64 numpy arrays; a single point is any
pair of numbers and comes back as a tuple. Shapes pickle through their archive
bytes (dumps/loads). read() and measure() use qelshape's own readers and
measures; qelcntr.dask spreads measure() over a Dask cluster.
"""

import os

import numpy as np

from ._qelcntr import (  # noqa: F401
    COLUMNS, Circle, Contour, EdgeletContour, Ellipse, Moments, Rect, Region, RegionSet,
    Error, EmptyContour, EmptyRegionSet, BadParams, RegionCannotBeSetOpen, BadPointer,
    Singular, BadWindow, FitError, ConvexHullError, ImageError, ArchiveError, UnknownVersion, Corrupt,
    Truncated, CannotStore, WrongClass, InputError,
    convex_hull, fit_ellipse, fit_circle, polygon_area, polygon_centroid, polygon_moments,
    ellipse_from_moments, min_enclosing_circle, std_dev, dumps)
from . import _qelcntr



def loads(data):
    """The shape stored in archive bytes (what dumps or qelshape convert wrote)."""
    return _qelcntr.loads(data)


def _reduce(shape):
    # Pickled as archive bytes, with what read() attached to the shape.
    return loads, (dumps(shape),), (shape.__dict__ or None)


for _cls in (Contour, Region, RegionSet, EdgeletContour):
    _cls.__module__ = __name__
    _cls.__reduce__ = _reduce

FORMATS = ("auto", "wkt", "geojson", "coco", "archive", "png")


def read(path, format="auto", label_field="", errors="raise"):
    """Yield the shapes of a file: WKT, GeoJSON, COCO (polygons and masks) or archives.

    Each shape is a Contour, Region or RegionSet carrying ``where`` (file and
    record), ``id`` (the input's id as text, or None), ``name`` (the id, or the
    value of the property label_field names), ``properties`` (the GeoJSON
    properties, or the COCO annotation without its segmentation, as a dict)
    and ``notes`` (what the reader did to make sense of the input). ``label``
    is the input's id when that is a number that fits 32 bits, else the
    record's position. errors: "raise", "warn" (skip with a warning) or
    "ignore" (skip) for a record that cannot be read.
    """
    return _qelcntr._Reader(os.fspath(path), format, label_field, errors)


def _frame(cols, as_frame):
    """Columns as a dict of numpy arrays, or a pandas DataFrame."""
    if as_frame is not False:
        try:
            import pandas as pd
        except ImportError:
            if as_frame:
                raise
        else:
            data = {}
            for name, values, mask in cols:
                if values.dtype == np.int64:
                    data[name] = pd.arrays.IntegerArray(values, np.zeros(len(values), bool) if mask is None else mask)
                elif values.dtype == np.bool_:
                    data[name] = pd.arrays.BooleanArray(values, np.zeros(len(values), bool) if mask is None else mask)
                else:
                    data[name] = values
            return pd.DataFrame(data, columns=[c[0] for c in cols])
    return {name: values if mask is None else np.ma.masked_array(values, mask)
            for name, values, mask in cols}


def measure(shapes, columns=None, as_frame=None, format="auto", label_field="", errors="warn",
            records=None):
    """Measure shapes the way ``qelshape measure`` does.

    shapes: a path (every shape of the file is read and measured in C++), one
    shape, or an iterable of shapes. columns: names from COLUMNS (all when
    None). Returns a pandas DataFrame when pandas is installed (as_frame=False
    asks for the dict), else a dict of numpy columns: floats with NaN where a
    value is missing, integers and booleans as masked arrays where one is,
    text as object arrays. records=(start, stop) measures only those records
    of a file; errors says what a record that cannot be read does.
    """
    if isinstance(shapes, (str, bytes, os.PathLike)):
        start, stop = records if records is not None else (0, -1)
        cols = _qelcntr._measure_file(os.fspath(shapes), columns, format, label_field, start, stop,
                                      errors)
    else:
        if isinstance(shapes, (Contour, RegionSet)):
            shapes = [shapes]
        cols = _qelcntr._measure_shapes(shapes, columns)
    return _frame(cols, as_frame)


class EdgeChain(EdgeletContour):
    """An edge chain found in an image (see edges): an EdgeletContour, closed
    when the chain returns to its start, whose points are the edge positions
    (pixel (x, y) covers [x, x+1) x [y, y+1), y down), and which keeps the
    detector's values at full precision: ``magnitudes`` (the gradient, grey
    levels a pixel at the detector's scale) and ``angles`` (the gradient's
    direction from dark towards bright, radians, y down). The library's own
    edgelet values stay reachable as ``edgelet_magnitudes`` (scaled to 65535
    for the pixel type's full scale) and ``edgelet_angles`` (1/256 turns)."""

    def __init__(self, points, magnitudes, angles, closed, edgelet_magnitudes, edgelet_angles):
        super().__init__(points, edgelet_magnitudes, edgelet_angles)
        self.closed = bool(closed)
        self.__dict__["_magnitudes"] = np.asarray(magnitudes, np.float64)
        self.__dict__["_angles"] = np.asarray(angles, np.float64)

    magnitudes = property(lambda self: self.__dict__["_magnitudes"])
    angles = property(lambda self: self.__dict__["_angles"])
    edgelet_magnitudes = property(EdgeletContour.magnitudes.fget)
    edgelet_angles = property(EdgeletContour.angles.fget)

    def __reduce__(self):
        return (EdgeChain, (self.points, self.magnitudes, self.angles, self.closed,
                            self.edgelet_magnitudes, self.edgelet_angles),
                {k: v for k, v in self.__dict__.items() if not k.startswith("_")} or None)


def edges(image, sigma=1.0, low=None, high=None, min_length=8, threads=None):
    """The subpixel edge chains of a grey image, as a list of EdgeChain
    (EdgeletContour) in raster order of each chain's first point.

    image: a 2-D numpy array (height, width) of uint8, uint16, float32 or
    float64 whose rows are contiguous. sigma: the smoothing scale in pixels
    (0.5 to 64). low, high: hysteresis thresholds on the gradient magnitude,
    derived from the image's noise when None. min_length: chains of fewer
    points are dropped. threads: row bands worked on at once (None: one per
    core); every count gives the same chains. The interpreter is released
    while the detector runs. Each chain's label is its position in the list.
    """
    chains = _qelcntr._edges(np.asarray(image), float(sigma), low, high, int(min_length), threads)
    out = []
    for i, c in enumerate(chains):
        chain = EdgeChain(*c)
        chain.label = i
        out.append(chain)
    return out


def count_records(path, format="auto"):
    """How many records a file holds (split off, not parsed)."""
    return _qelcntr._count_records(os.fspath(path), format)
