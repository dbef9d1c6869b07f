// Runs the built qelshape on small files, as a user runs it: output, exit
// status and messages.
#ifndef QEL_TESTS_QELSHAPE_RUN_H
#define QEL_TESTS_QELSHAPE_RUN_H

#include <unistd.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using nlohmann::json;
namespace fs = std::filesystem;

struct Result {
    int status;
    std::string out, err;
};

inline fs::path scratch() {
    static const fs::path dir = fs::temp_directory_path() / ("qelshape-test-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir;
}

inline std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline fs::path write(const std::string& name, const std::string& text) {
    fs::path p = scratch() / name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
}

inline Result qelshape(const std::string& args) {
    const fs::path out = scratch() / "stdout", err = scratch() / "stderr";
    const int status = std::system((QELSHAPE " " + args + " >" + out.string() + " 2>" + err.string()).c_str());
    return {WEXITSTATUS(status), slurp(out), slurp(err)};
}

inline std::vector<json> lines(const std::string& out) {
    std::vector<json> rows;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) rows.push_back(json::parse(line));
    return rows;
}

// Each key of want has its value in row; fractions to within rounding.
inline void expectFields(const json& row, const json& want) {
    for (const auto& [key, value] : want.items()) {
        if (value.is_number_float())
            EXPECT_NEAR(row[key].get<double>(), value.get<double>(), 1e-12) << key;
        else
            EXPECT_EQ(row[key], value) << key;
    }
}

inline const char* const kWkt =
    "POLYGON ((0 0, 4 0, 4 4, 0 4, 0 0), (1 1, 1 2, 2 2, 2 1, 1 1))\n"
    "LINESTRING (0 0, 3 4,\n  3 8)\n"
    "LINEARRING (0 0, 10 0, 10 10, 0 0)\n"
    "MULTIPOLYGON (((0 0, 1 0, 1 1, 0 1, 0 0)), ((2 0, 4 0, 4 2, 2 2, 2 0)))\n";

#endif
