// Prints the calls a whole import run makes on the fake spreadsheet server, one
// a line, for the checks that drive the Windows program from outside.
//
//   expected_run_calls one <url>...
//   expected_run_calls separate <sheets in a new workbook> <url>...
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "expected_calls.h"

int main(int argc, char** argv) {
    using namespace qf::testing::expected_calls;
    const std::string mode = argc > 1 ? argv[1] : "";
    const int first = mode == "separate" ? 3 : 2;
    if ((mode != "one" && mode != "separate") || argc <= first) {
        std::fprintf(stderr, "usage: expected_run_calls one <url>... | separate <sheets> <url>...\n");
        return 2;
    }
    const std::vector<std::string> urls(argv + first, argv + argc);
    const Calls calls = mode == "one" ? oneSheetRun(urls) : separateSheetsRun(urls, std::atoi(argv[2]));
    for (const std::string& call : calls) std::printf("%s\n", call.c_str());
    return 0;
}
