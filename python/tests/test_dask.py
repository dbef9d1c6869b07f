import json

import numpy as np
import pytest

import qelcntr as q

pd = pytest.importorskip("pandas")
pytest.importorskip("dask.dataframe")
distributed = pytest.importorskip("distributed")
qd = pytest.importorskip("qelcntr.dask")
pytestmark = pytest.mark.filterwarnings("ignore::DeprecationWarning")

COLUMNS = None  # every column, each typed by the column table


def star(rng, n, cx, cy):
    t = np.sort(rng.uniform(0, 2 * np.pi, n))
    r = rng.uniform(0.5, 1.5, n)
    return np.c_[cx + r * np.cos(t), cy + r * np.sin(t)]


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    rng = np.random.default_rng(3)
    d = tmp_path_factory.mktemp("dask")
    wkt = d / "stars.wkt"
    wkt.write_text("".join("POLYGON ((%s))\n" % ", ".join(f"{x!r} {y!r}" for x, y in np.vstack([p, p[:1]]))
                           for p in (star(rng, 12, i, 0) for i in range(40))))
    features = [{"type": "Feature", "id": i, "properties": {},
                 "geometry": {"type": "LineString", "coordinates": star(rng, 5, 0, i).tolist()}}
                for i in range(10)]
    geojson = d / "lines.geojson"
    geojson.write_text(json.dumps({"type": "FeatureCollection", "features": features}))
    return [wkt, geojson]


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=False,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as c:
        yield c


def same(a, b):
    pd.testing.assert_frame_equal(a.reset_index(drop=True), b.reset_index(drop=True))


def test_files_on_a_two_worker_cluster(client, files):
    single = pd.concat([q.measure(p, columns=COLUMNS) for p in files])
    ddf = qd.measure_files(files, columns=COLUMNS)
    assert ddf.npartitions == 2
    same(ddf.compute(), single.astype(ddf.dtypes.to_dict()))
    # A file larger than a chunk is split by records; the rows stay in order.
    chunked = qd.measure_files(files, columns=COLUMNS, chunk_bytes=files[0].stat().st_size // 3)
    assert chunked.npartitions > 3
    same(chunked.compute(), ddf.compute())


def test_shapes_on_a_two_worker_cluster(client, files):
    shapes = list(q.read(files[0]))
    ddf = qd.measure_shapes(shapes, columns=["area", "points"], npartitions=3)
    assert ddf.npartitions == 3
    same(ddf.compute(), q.measure(shapes, columns=["area", "points"]))


def test_column_table_types_what_measure_gives(tmp_path):
    # Two annotations that give every column a value (the mask a note).
    path = tmp_path / "every.json"
    path.write_text('{"annotations": [{"id": 1, "image_id": 1, "category_id": 1, "area": 6, "bbox": [0, 0, 4, 3],'
                    ' "segmentation": [[0, 0, 4, 0, 4, 3]]}, {"id": 2, "segmentation": {"size": [2, 2], "counts": [1, 3]}}]}')
    measured = q.measure(path)
    assert not measured.isna().all().any()
    pd.testing.assert_series_equal(measured.dtypes, qd._meta(None).dtypes)


def test_images_on_a_two_worker_cluster(client, tmp_path):
    cv2 = pytest.importorskip("cv2")
    from test_edges import render_disc
    truth = [(30.4, 33.1, 12.6), (28.9, 30.2, 20.3)]
    paths = []
    for i, (cx, cy, r) in enumerate(truth):
        paths.append(tmp_path / f"disc{i}.png")
        cv2.imwrite(str(paths[-1]), np.round(render_disc(cx, cy, r)).astype(np.uint16) * 257)
    ddf = qd.measure_images(paths, columns=["where", "circle", "area_holes"])
    assert ddf.npartitions == 2
    df = ddf.compute()
    assert list(df["where"]) == [f"{p}: chain 0" for p in paths]
    for (cx, cy, r), (_, row) in zip(truth, df.iterrows()):
        assert abs(row.circle_r - r) < 0.02 and row.area_holes == pytest.approx(np.pi * r * r, rel=0.005)
