"""Measure collections of shapes with Dask, on one machine or a cluster.

Each file (or each chunk of records of a large file) is one task and one
partition: the tasks share nothing, so they spread over every worker of
whatever Dask client is active (a LocalCluster, or a scheduler somewhere else
reached with ``distributed.Client("tcp://host:8786")``). The files must be
readable at the same path by the client, which sizes them, and by every worker.
"""

import math
import os

import dask
import dask.dataframe as dd
import numpy as np

import qelcntr

__all__ = ["measure_files", "measure_shapes", "measure_images"]


# The array each type of column is given; _frame makes integers and booleans
# nullable, as it does for every measured frame.
_DTYPES = {"float": np.float64, "integer": np.int64, "bool": np.bool_, "text": object, "json": object}


def _meta(columns):
    """An empty frame with the column types every partition is given."""
    return qelcntr._frame([(name, np.empty(0, _DTYPES[kind]), None)
                           for name, kind in qelcntr._qelcntr._column_types(columns)], True)


def _file_part(path, columns, records, meta, options):
    df = qelcntr.measure(path, columns=columns, as_frame=True, records=records, **options)
    return df.astype(meta.dtypes.to_dict())


def _image_part(path, columns, meta, params, closed_only):
    cols = qelcntr._qelcntr._measure_file(path, columns, "png", "", 0, -1, "warn", params)
    df = qelcntr._frame(cols, True)
    if closed_only:
        df = df[df["kind"] != "open contour"] if "kind" in df else df
    return df.astype(meta.dtypes.to_dict())


def _shapes_part(shapes, columns, meta):
    return qelcntr.measure(shapes, columns=columns, as_frame=True).astype(meta.dtypes.to_dict())


def _chunks(path, chunk_bytes, options):
    """Record ranges of about chunk_bytes each; the whole file when it is smaller."""
    size = os.path.getsize(path)
    if chunk_bytes is None or size <= chunk_bytes:
        return [(0, -1)]
    n = qelcntr.count_records(path, options.get("format", "auto"))
    per = max(1, math.ceil(n / math.ceil(size / chunk_bytes)))
    return [(start, min(start + per, n)) for start in range(0, n, per)] or [(0, -1)]


def measure_files(paths, columns=None, chunk_bytes=64 << 20, format="auto", label_field="",
                  errors="warn"):
    """A Dask DataFrame of the measures of every shape of the files, in order.

    One partition per file, or per chunk of records of a file larger than
    chunk_bytes (None: never split). columns, format, label_field and errors
    are those of qelcntr.measure. Nothing runs until .compute() (or
    .persist()), which uses the active Dask client.
    """
    options = dict(format=format, label_field=label_field, errors=errors)
    meta = _meta(columns)
    parts = []
    for path in map(os.fspath, paths):
        for records in _chunks(path, chunk_bytes, options):
            parts.append(dask.delayed(_file_part)(path, columns, records, meta, options))
    if not parts:
        return dd.from_pandas(meta, npartitions=1)
    return dd.from_delayed(parts, meta=meta, verify_meta=False)


def measure_shapes(shapes, columns=None, npartitions=None):
    """A Dask DataFrame of the measures of shapes held in memory, split into
    npartitions (by default one per 1000 shapes); the shapes travel to the
    workers pickled, as archive bytes."""
    shapes = list(shapes)
    meta = _meta(columns)
    if not shapes:
        return dd.from_pandas(meta, npartitions=1)
    n = npartitions or max(1, math.ceil(len(shapes) / 1000))
    per = math.ceil(len(shapes) / n)
    parts = [dask.delayed(_shapes_part)(shapes[i:i + per], columns, meta)
             for i in range(0, len(shapes), per)]
    return dd.from_delayed(parts, meta=meta, verify_meta=False)


def measure_images(paths, columns=None, sigma=1.0, low=None, high=None, min_length=8, threads=1,
                   closed_only=True):
    """A Dask DataFrame of the measures of the edge chains of grey PNG images
    (8 or 16 bits; colour by its luminance), one partition per image, in order.

    Each chain is measured as ``qelshape measure IMAGE --edges`` measures it:
    a closed chain as the region it bounds, with the chains directly inside
    it as holes (``area_holes``), and the fitted circle (``circle_*``) and
    ellipse beside the other columns; ``where`` names the image and chain.
    closed_only keeps the closed chains (the ones that bound something).
    sigma, low, high and min_length are those of qelcntr.edges; threads are
    the detector's own within one task (1 leaves the parallelism to Dask).
    Nothing runs until .compute(), which uses the active Dask client.
    """
    if columns is not None and closed_only and "kind" not in columns:
        columns = list(columns) + ["kind"]
    params = (float(sigma), low, high, int(min_length), int(threads or 0))
    meta = _meta(columns)
    parts = [dask.delayed(_image_part)(path, columns, meta, params, closed_only)
             for path in map(os.fspath, paths)]
    if not parts:
        return dd.from_pandas(meta, npartitions=1)
    return dd.from_delayed(parts, meta=meta, verify_meta=False)
