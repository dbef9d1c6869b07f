// What a reader reads from: a file, standard input ("-") or a stream of the
// caller's, with the file's size when known, so a reader can tell how far
// it has got.
#ifndef QEL_IO_INPUT_H
#define QEL_IO_INPUT_H

#include <fstream>
#include <istream>
#include <string>

namespace qs {

struct Input {
    Input(std::istream& stream, const std::string& name) : path(name), in(&stream) {}
    // InputError when the file cannot be opened.
    explicit Input(const std::string& path);
    // How much has been read, from 0 to 1; 0 when the size is unknown.
    double done() const;

    std::string path;
    std::ifstream file;
    std::istream* in = nullptr;
    double size = 0;
};

}  // namespace qs

#endif
