#pragma once
// Reads a workbook file back the way the strictest spreadsheet reader does:
// every XML part of the package must be well-formed XML 1.0 (libxml2, no
// recovery), or the whole file is refused. Shared by the engine tests, which read
// every workbook they write this way, and by the writer's fuzzer.

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qf::engine::testing {

struct StrictSheet {
    std::string name;
    // "A1" -> the cell's text with the format's "_xHHHH_" escapes read, or its
    // number as the file writes it.
    std::map<std::string, std::string> cells;
};

struct StrictWorkbook {
    std::vector<std::string> parts;   // every part of the package
    std::vector<StrictSheet> sheets;  // in the workbook's order
};

// Why a file was refused: the part and the parser's own words.
struct RefusedWorkbook : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Every part of the package by name, unpacked; throws RefusedWorkbook when the
// file is not a zip package or a part does not unpack.
std::map<std::string, std::string> unpackParts(const std::string& path);

// Throws RefusedWorkbook when the file is not a zip package, a part does not
// unpack, or an XML part is not well-formed.
StrictWorkbook readStrictly(const std::string& path);

// A text as a reader shows it: "_xHHHH_" becomes U+HHHH (a pair of escaped
// surrogates one character beyond U+FFFF).
std::string readEscapes(std::string_view stored);

}  // namespace qf::engine::testing

namespace qf::engine::testing {

// Why a strict reader refuses the file; empty when it reads it.
inline std::string strictReadFailure(const std::string& path) {
    try {
        readStrictly(path);
    } catch (const RefusedWorkbook& refused) {
        return refused.what();
    }
    return {};
}

}  // namespace qf::engine::testing
