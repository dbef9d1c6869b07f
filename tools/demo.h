// The built-in sample the demo command runs on.
#ifndef QEL_TOOLS_DEMO_H
#define QEL_TOOLS_DEMO_H

#include <ostream>
#include <string>

namespace qs {

// Writes the sample files into dir, measures them and prints a short report
// on out; the exit status (0 when all went well).
int runDemo(const std::string& dir, std::ostream& out);

}  // namespace qs

#endif
