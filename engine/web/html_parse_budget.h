#pragma once
// A quick look at an HTML page before it is parsed, to turn away pages whose
// parse would take hours.

#include <string_view>

namespace qf::engine {

// The parser looks through its stack of open elements at most start tags, so
// its time grows with the number of tags times their depth: a page of a few
// hundred kilobytes of unclosed <div>s would keep it busy for hours. This
// estimates that work (depth is approximated by counting start and end tags,
// leaving out elements without end tags or with optional ones); false when it
// is too much. Ordinary pages, even very large ones, stay far below.
bool withinParseBudget(std::string_view html);

}  // namespace qf::engine
