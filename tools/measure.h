// The measures of one shape as the library computes them, and the three
// ways of writing them: JSON lines, CSV and an aligned table.
#ifndef QEL_TOOLS_MEASURE_H
#define QEL_TOOLS_MEASURE_H

#include <string>
#include <variant>
#include <vector>

#include "tools/shape.h"

namespace qs {

// A missing value (a measure the shape does not have, or one the library
// refused) is the monostate.
using Value = std::variant<std::monostate, double, long long, bool, std::string>;

// One value per column, in column order.
struct Row {
    std::vector<Value> values;
};

// The columns, in output order.
const std::vector<std::string>& measureColumns();

// Every measure of the shape; a measure that throws leaves its value missing
// and says why in the "notes" column. where and index name the shape.
Row measure(const Shape& s, const std::string& where, unsigned long index);

enum class OutputFormat { JsonLines, Csv, Table };
OutputFormat outputFormatFromName(const std::string& name);

// What goes before the first row (nothing for JSON lines).
std::string header(OutputFormat f);
// A text as one CSV field (quoted when it holds a comma, quote or newline).
std::string csvField(const std::string& text);

// One row, ending in a newline.
std::string formatRow(OutputFormat f, const Row& r);

}  // namespace qs

#endif
