#include "io/input.h"

#include <iostream>

#include "io/shape.h"

namespace qs {

Input::Input(const std::string& path) : path(path) {
    if (path == "-") {
        in = &std::cin;
        return;
    }
    file.open(path, std::ios::binary);
    if (!file) throw InputError(path + ": cannot open the file");
    file.seekg(0, std::ios::end);
    size = static_cast<double>(file.tellg());
    file.seekg(0);
    in = &file;
}

double Input::done() const {
    if (size <= 0) return 0;
    std::streampos p = in->tellg();
    return p < 0 ? 1.0 : static_cast<double>(p) / size;
}

}  // namespace qs
