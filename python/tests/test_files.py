import json
import pickle
import subprocess

import numpy as np
import pytest

import qelcntr as q
from conftest import BOWTIE, HOLE, L_SHAPE

WKT = """POLYGON ((0 0, 5 0, 5 1, 2 1, 2 3, 0 3, 0 0), (0.5 0.5, 1.5 0.5, 1.5 2, 0.5 2, 0.5 0.5))
LINESTRING (0 0, 3 1, 4 4)
MULTIPOLYGON (((6 0, 8 0, 8 2, 6 2, 6 0)), ((10 0, 11 0, 11 1, 10 0)))
"""
GEOJSON = {"type": "FeatureCollection", "features": [
    {"type": "Feature", "id": 17, "properties": {"name": "ell", "score": 0.5},
     "geometry": {"type": "Polygon", "coordinates": [L_SHAPE + [L_SHAPE[0]]]}},
    {"type": "Feature", "id": "b", "properties": {"closed": True},
     "geometry": {"type": "LineString", "coordinates": BOWTIE + [BOWTIE[0]]}}]}
COCO = {"images": [{"id": 1, "width": 8, "height": 8}], "categories": [{"id": 3, "name": "thing"}],
        "annotations": [{"id": 40, "image_id": 1, "category_id": 3, "area": 9, "bbox": [0, 0, 5, 3],
                         "segmentation": [sum(L_SHAPE, [])], "iscrowd": 0},
                        # A 2x2 block of pixels in a 4x4 image, as column-major runs.
                        {"id": 41, "image_id": 1, "category_id": 3, "iscrowd": 1,
                         "segmentation": {"size": [4, 4], "counts": [5, 2, 2, 2, 5]}}]}


@pytest.fixture
def files(tmp_path):
    paths = {"wkt": tmp_path / "a.wkt", "geojson": tmp_path / "b.geojson", "coco": tmp_path / "c.json"}
    paths["wkt"].write_text(WKT)
    paths["geojson"].write_text(json.dumps(GEOJSON))
    paths["coco"].write_text(json.dumps(COCO))
    return paths


def test_read_gives_shapes_with_what_the_file_says(files):
    region, line, rset = q.read(files["wkt"])
    assert isinstance(region, q.Region) and region.area() == 7.5 and len(region.holes) == 1
    assert type(line) is q.Contour and not line.closed and isinstance(rset, q.RegionSet)
    assert rset.where.endswith("a.wkt:3") and rset.properties == {}
    ell, ring = q.read(files["geojson"])
    assert (ell.id, ell.label, ell.properties) == ("17", 17, {"name": "ell", "score": 0.5})
    assert ring.closed and ring.id == "b" and ring.label == 1
    assert [s.name for s in q.read(files["geojson"], label_field="name")] == ["ell", ""]
    ann, mask = q.read(files["coco"])
    assert ann.label == 40 and ann.properties["category_id"] == 3 and ann.area() == 9
    assert mask.id == "41" and mask.area() == 4 and mask.inside((2, 2)) and not mask.inside((0.5, 2))


def test_archives_are_the_tools(files, cpp, tmp_path):
    out = tmp_path / "a.qar"
    subprocess.run([cpp.exe, "convert", str(files["wkt"]), "-q", "-t", "archive", "--to", str(out)],
                   check=True)
    shapes = list(q.read(files["wkt"]))
    assert b"".join(q.dumps(s) for s in shapes) == out.read_bytes()
    assert [s == t for s, t in zip(q.read(out), shapes)] == [True] * 3
    data = q.dumps(shapes[0])
    assert q.loads(data) == shapes[0] and q.loads(bytearray(data)).area() == 7.5
    pytest.raises(q.Truncated, q.loads, data[:-3])
    pytest.raises(q.ArchiveError, q.loads, b"\x89QAR" + bytes(20))
    pytest.raises(TypeError, q.dumps, "not a shape")


@pytest.mark.parametrize("shape", [
    q.Contour(L_SHAPE, closed=False, label=9), q.Region(L_SHAPE, holes=[HOLE], label=5),
    q.RegionSet([q.Region(L_SHAPE, holes=[HOLE]), BOWTIE]),
    q.EdgeletContour(L_SHAPE, range(6), range(6), xform=[[1, 0, 10], [0, 2, 0]])])
def test_pickling_goes_through_archives(shape):
    shape.note = "kept"
    back = pickle.loads(pickle.dumps(shape))
    assert type(back) is type(shape) and back.note == "kept"
    assert q.dumps(back) == q.dumps(shape)
    assert getattr(back, "label", None) == getattr(shape, "label", None)


def test_measure_a_file_or_its_shapes(files):
    cols = ["where", "label", "kind", "points", "area_holes", "com_holes_x", "extreme_up", "self_intersecting"]
    for path in files.values():
        direct = q.measure(path, columns=cols, as_frame=False)
        via = q.measure(list(q.read(path)), columns=cols, as_frame=False)
        assert list(direct) == cols
        for c in cols:
            np.testing.assert_array_equal(direct[c], via[c])
    table = q.measure(files["wkt"], columns=["area", "extreme_up"], as_frame=False)
    assert isinstance(table["area"], np.ndarray) and np.isnan(table["area"][1])
    assert table["extreme_up"].dtype == np.int64
    chunk = q.measure(files["wkt"], columns=["where"], records=(1, 2), as_frame=False)
    assert [w.rsplit(":", 1)[1] for w in chunk["where"]] == ["2"]
    with pytest.raises(ValueError, match="no column"):
        q.measure(files["wkt"], columns=["volume"])


def test_bad_records(tmp_path):
    bad = tmp_path / "bad.wkt"
    bad.write_text("POLYGON ((0 0, 1 0, 1 1, 0 0))\nPOLYGON ((0 0, 1 0\nPOINT (1 1)\n")
    with pytest.raises(q.InputError, match="bad.wkt:2"):
        list(q.read(bad))
    assert len(list(q.read(bad, errors="ignore"))) == 1
    with pytest.warns(UserWarning):
        assert len(q.measure(bad, as_frame=False)["area"]) == 1
    with pytest.raises(ValueError):
        q.measure(tmp_path / "missing.wkt", errors="raise")


def test_data_frame_types(files):
    pd = pytest.importorskip("pandas")
    df = q.measure(files["wkt"], columns=["kind", "area", "holes", "self_intersecting"])
    assert isinstance(df, pd.DataFrame) and len(df) == 3
    assert [str(t) for t in df.dtypes] == ["object", "float64", "Int64", "boolean"]
