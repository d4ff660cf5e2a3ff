#include "conventions.h"

#include <cmath>

namespace qf::engine {

const Reading::Alternative* valueUnder(const Reading& reading, Conventions inQuestion) {
    if (reading.kind != Reading::Kind::Value) return nullptr;
    const Reading::Alternative* chosen = nullptr;
    const Reading::Alternative* only = nullptr;  // of the readings as a number
    std::size_t numbers = 0;
    for (std::size_t i = 0; i < reading.count; ++i) {
        const Reading::Alternative& a = reading.alternatives[i];
        if (!std::isnan(a.number)) {
            only = &a;
            ++numbers;
        }
        if (!(a.readers & inQuestion)) continue;
        if (std::isnan(a.number) || (chosen && chosen->number != a.number)) return nullptr;  // read differently
        if (!chosen) chosen = &a;
    }
    if (chosen) return chosen;
    return reading.plain && numbers == 1 ? only : nullptr;
}

}  // namespace qf::engine
