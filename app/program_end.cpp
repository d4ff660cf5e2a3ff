#include "program_end.h"

#include <cstdio>
#include <cstdlib>

namespace qf {

void ProcessEnd::now() {
    std::fflush(nullptr);
    std::_Exit(0);
}

}  // namespace qf
