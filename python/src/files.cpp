// Files and tables: shapes read with qelshape's own readers, and the measures
// qelshape computes, as columns of numpy arrays.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <tuple>
#include <variant>

#include "platform/ip/edges.h"
#include "python/src/bind.h"
#include "tools/measure.h"
#include "io/reader.h"

namespace qp {

namespace {

using namespace pybind11::literals;

// What to do with a record that cannot be read: raise, warn and skip, or skip.
enum class OnError { Raise, Warn, Ignore };

OnError onError(const std::string& s) {
    if (s == "raise") return OnError::Raise;
    if (s == "warn") return OnError::Warn;
    if (s == "ignore") return OnError::Ignore;
    throw py::value_error("errors is \"raise\", \"warn\" or \"ignore\", not \"" + s + "\"");
}

void skipped(OnError how, const std::string& why) {
    if (how == OnError::Raise) throw qs::InputError(why);
    if (how == OnError::Warn) PyErr_WarnEx(PyExc_UserWarning, ("skipped: " + why).c_str(), 1);
}

qs::ReadOptions readOptions(const std::string& format, const std::string& labelField) {
    qs::ReadOptions o;
    o.format = qs::formatFromName(format);
    o.labelField = labelField;
    return o;
}

// The records of a file from start to stop (record numbers, stop < 0 for
// the end), each resolved into a shape; the ones before start are only split
// off, not parsed.
class FileShapes {
public:
    FileShapes(const std::string& path, const qs::ReadOptions& options, long long start, long long stop)
        : src_(qs::openSource(path, options)), stop_(stop) {
        qs::Record r;
        while (index_ < start && src_->next(r)) ++index_;
    }
    // False at the end; throws InputError for a record that cannot be read.
    bool next(qs::Shape& s, std::string& where, unsigned long& index) {
        if (stop_ >= 0 && index_ >= stop_) return false;
        qs::Record r;
        if (!src_->next(r)) return false;
        index = static_cast<unsigned long>(index_++);
        where = r.where;
        s = qs::resolve(r);
        return true;
    }

private:
    std::unique_ptr<qs::Source> src_;
    long long index_ = 0, stop_;
};

// What the file says of a shape, as attributes of the Python object.
void describeShape(py::object obj, const qs::Shape& s, const std::string& where) {
    obj.attr("where") = where;
    obj.attr("id") = s.id.empty() ? py::object(py::none()) : py::object(py::str(s.id));
    obj.attr("name") = py::str(s.label);
    obj.attr("properties") = s.properties.empty() ? py::object(py::dict())
                                                   : py::module_::import("json").attr("loads")(s.properties);
    obj.attr("notes") = py::cast(s.notes);
}

// Python's iterator over a file's shapes.
class Reader {
public:
    Reader(const std::string& path, const qs::ReadOptions& options, const std::string& errors)
        : reader_(path, options), errors_(onError(errors)) {}
    py::object next() {
        while (true) {
            qs::Feature f;
            try {
                if (!reader_.next(f)) throw py::stop_iteration();
            } catch (const qs::InputError& e) {
                skipped(errors_, e.what());
                continue;
            }
            py::object obj = toPython(*f.object);
            describeShape(obj, f.shape, f.where);
            return obj;
        }
    }

private:
    qs::Reader reader_;
    OnError errors_;
};

// ---- measures ----

// What to compute, and which of the columns to hand back: those asked for
// (a group's name standing for its columns), or all.
struct Chosen {
    qs::Columns compute;
    std::vector<std::size_t> out;
};

Chosen chooseColumns(py::handle columns) {
    if (columns.is_none()) {
        qs::Columns all = qs::Columns::all();
        return {all, all.indices()};
    }
    std::string list;
    std::vector<std::string> names;
    for (py::handle c : columns) {
        names.push_back(c.cast<std::string>());
        list += names.back() + ",";
    }
    Chosen c{qs::Columns::parse(list), {}};
    // The tool adds where, label and notes to every list; keep them only when asked.
    const std::vector<std::string>& all = qs::measureColumns();
    for (std::size_t i : c.compute.indices()) {
        bool added = all[i] == "where" || all[i] == "label" || all[i] == "notes";
        if (!added || std::find(names.begin(), names.end(), all[i]) != names.end()) c.out.push_back(i);
    }
    return c;
}

// The chosen columns of every row, gathered as the rows come.
class Table {
public:
    explicit Table(py::handle columns) : chosen_(chooseColumns(columns)), values_(chosen_.out.size()) {}
    const qs::Columns& columns() const { return chosen_.compute; }
    void add(const qs::Row& r) {
        for (std::size_t k = 0; k < values_.size(); ++k) values_[k].push_back(r.values[chosen_.out[k]]);
    }
    // [(name, values, mask)]: a column is typed by its first present value:
    // floats (missing: NaN, no mask), integers or booleans (with a mask where
    // values are missing), text or JSON objects (object, missing: None).
    py::list result() const {
        py::list out;
        for (std::size_t k = 0; k < values_.size(); ++k)
            out.append(column(qs::measureColumns()[chosen_.out[k]], values_[k]));
        return out;
    }

private:
    static py::tuple column(const std::string& name, const std::vector<qs::Value>& v) {
        std::size_t kind = 0;
        for (const qs::Value& x : v)
            if (x.index() != 0) {
                kind = x.index();
                break;
            }
        auto n = static_cast<py::ssize_t>(v.size());
        py::array_t<bool> mask(n);
        bool anyMissing = false;
        for (std::size_t i = 0; i < v.size(); ++i) anyMissing |= mask.mutable_data()[i] = v[i].index() == 0;
        py::object values;
        if (kind == 2) values = fill<long long>(v, 0);
        else if (kind == 3) values = fill<bool>(v, false);
        else if (kind == 4 || kind == 5) {
            py::object json = py::module_::import("json").attr("loads");
            py::array a = py::module_::import("numpy").attr("empty")(n, "dtype"_a = "object");
            auto** o = static_cast<PyObject**>(a.mutable_data());
            for (std::size_t i = 0; i < v.size(); ++i) {
                py::object x = py::none();
                if (auto t = std::get_if<std::string>(&v[i])) x = py::str(*t);
                else if (auto j = std::get_if<qs::RawJson>(&v[i])) x = json(j->text);
                Py_XDECREF(o[i]);
                o[i] = x.release().ptr();
            }
            values = a;
        } else {
            values = fill<double>(v, std::numeric_limits<double>::quiet_NaN());
        }
        bool masked = anyMissing && (kind == 2 || kind == 3);
        return py::make_tuple(name, values, masked ? py::object(mask) : py::object(py::none()));
    }
    template <class T>
    static py::array_t<T> fill(const std::vector<qs::Value>& v, T missing) {
        py::array_t<T> a(static_cast<py::ssize_t>(v.size()));
        for (std::size_t i = 0; i < v.size(); ++i) {
            const T* x = std::get_if<T>(&v[i]);
            a.mutable_data()[i] = x ? *x : missing;
        }
        return a;
    }

    Chosen chosen_;
    std::vector<std::vector<qs::Value>> values_;
};

// The edge detector's settings as Python passes them (and pickles them for
// the workers of a cluster): sigma, low, high, min_length, threads.
using EdgeTuple = std::optional<std::tuple<double, std::optional<double>, std::optional<double>, int, int>>;

py::list measureFile(const std::string& path, py::handle columns, const std::string& format,
                     const std::string& labelField, long long start, long long stop,
                     const std::string& errors, const EdgeTuple& edges) {
    Table t(columns);
    OnError how = onError(errors);
    qs::ReadOptions options = readOptions(format, labelField);
    if (edges) {
        kr_EdgeParams& p = options.edges.emplace();
        std::tie(p.sigma, p.low, p.high, p.minLength, p.threads) = *edges;
    }
    // Opening an image finds its edges: other threads run meanwhile.
    std::optional<FileShapes> opened;
    {
        py::gil_scoped_release release;
        opened.emplace(path, options, start, stop);
    }
    FileShapes& shapes = *opened;
    while (true) {
        qs::Shape s;
        std::string where;
        unsigned long index = 0;
        try {
            if (!shapes.next(s, where, index)) break;
        } catch (const qs::InputError& e) {
            skipped(how, e.what());
            continue;
        }
        try {
            qs::Row row;
            {
                py::gil_scoped_release release;
                row = qs::measure(s, where, index, t.columns());
            }
            t.add(row);
        } catch (const krException& e) {
            skipped(how, where + ": " + qs::describe(e));
        }
    }
    return t.result();
}

// Shapes of this package: the tool's neutral form of each, with the where
// and id that read() gave it, if any.
py::list measureShapes(py::iterable shapes, py::handle columns) {
    Table t(columns);
    unsigned long index = 0;
    for (py::handle obj : shapes) {
        qs::Shape s = qs::fromLibrary(fromPython(obj));
        std::string where = std::to_string(index);
        if (py::hasattr(obj, "where")) where = py::str(obj.attr("where"));
        if (py::hasattr(obj, "name")) s.label = py::str(obj.attr("name"));
        t.add(qs::measure(s, where, index++, t.columns()));
    }
    return t.result();
}

// The name and type of each column measure() hands back for these columns:
// what a table is typed by before any shape is measured.
py::list columnTypes(py::handle columns) {
    static const char* const kTypes[] = {"float", "integer", "bool", "text", "json"};
    py::list out;
    for (std::size_t i : chooseColumns(columns).out)
        out.append(py::make_tuple(qs::measureColumns()[i], kTypes[static_cast<int>(qs::columnType(i))]));
    return out;
}

long long countRecords(const std::string& path, const std::string& format) {
    auto src = qs::openSource(path, qs::formatFromName(format));
    long long n = 0;
    qs::Record r;
    while (src->next(r)) ++n;
    return n;
}

}  // namespace

void bindFiles(py::module_& m) {
    py::class_<Reader>(m, "_Reader")
        .def(py::init([](const std::string& path, const std::string& format, const std::string& labelField,
                         const std::string& errors) {
            return std::make_unique<Reader>(path, readOptions(format, labelField), errors);
        }))
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &Reader::next);
    m.def("_measure_file", &measureFile, "path"_a, "columns"_a, "format"_a, "label_field"_a, "start"_a,
          "stop"_a, "errors"_a, "edges"_a = py::none());

    m.def("_measure_shapes", &measureShapes, "shapes"_a, "columns"_a);
    m.def("_count_records", &countRecords, "path"_a, "format"_a);
    m.def("_column_types", &columnTypes, "columns"_a);
    m.attr("COLUMNS") = py::cast(qs::measureColumns());
}

}  // namespace qp
