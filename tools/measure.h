// The measures of one shape as the library computes them, and the three
// ways of writing them: JSON lines, CSV and an aligned table.
#ifndef QEL_TOOLS_MEASURE_H
#define QEL_TOOLS_MEASURE_H

#include <string>
#include <variant>
#include <vector>

#include "io/shape.h"

namespace qs {

// JSON text written as it is (a feature's properties).
struct RawJson {
    std::string text;
};

// A missing value (a measure the shape does not have, or one the library
// refused) is the monostate.
using Value = std::variant<std::monostate, double, long long, bool, std::string, RawJson>;

// One value per known column, in the order of measureColumns().
struct Row {
    std::vector<Value> values;
};

// Every column the tool knows, in output order.
const std::vector<std::string>& measureColumns();

// What a column's values are (a Value's alternative besides the missing
// one), so a table can be typed before any row is measured.
enum class ColumnType { Float, Integer, Bool, Text, Json };
// The type of the column at this position of measureColumns().
ColumnType columnType(std::size_t column);

// The columns to write, and with them the measures to compute: each column
// belongs to a group of measures one library call gives ("com" gives com_x,
// com_y, com_holes_x and com_holes_y), and only the groups of the chosen
// columns are computed.
class Columns {
public:
    static Columns all();
    // What a person reads first, for the table.
    static Columns table();
    // A comma-separated list of column and group names, in the order to
    // write them; where and label come first and notes last unless listed.
    // InputError names an unknown name.
    static Columns parse(const std::string& list);
    // The names a list may hold, for --help.
    static std::string groupsHelp();

    const std::vector<std::size_t>& indices() const { return indices_; }
    bool wants(const std::string& group) const;

private:
    std::vector<std::size_t> indices_;
    std::vector<std::string> groups_;
};

// The measures of the shape the columns ask for; a measure that throws
// leaves its value missing and says why in the "notes" column. where and
// index name the shape.
Row measure(const Shape& s, const std::string& where, unsigned long index,
            const Columns& columns = Columns::all());

enum class OutputFormat { JsonLines, Csv, Table };
OutputFormat outputFormatFromName(const std::string& name);

// What goes before the first row (nothing for JSON lines).
std::string header(OutputFormat f, const Columns& columns);
// A text as one CSV field (quoted when it holds a comma, quote or newline).
std::string csvField(const std::string& text);

// One row, ending in a newline.
std::string formatRow(OutputFormat f, const Row& r, const Columns& columns);

}  // namespace qs

#endif
