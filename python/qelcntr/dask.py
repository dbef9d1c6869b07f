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

__all__ = ["measure_files", "measure_shapes"]


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

