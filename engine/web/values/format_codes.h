#pragma once
// The format codes the readers give values ("#,##0.00", "dd.mm.yyyy"), by the
// id the cells keep them under. The table of ids is the workbook's
// (engine/workbook/number_format.h): the readers are given its interning
// function and keep the ids they were told, so a code is interned once per
// reader.
//
// Threads: one per reader, on its thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qf::engine {

// A format code's id, the workbook's own type (an alias declared the same
// there); 0 is the spreadsheet's General format.
using FormatId = std::uint16_t;
// Gives the id of a code, the same id for the same code.
using InternFormat = FormatId (*)(std::string_view code);

class FormatCodes {
public:
    explicit FormatCodes(InternFormat intern) : intern_(intern) {}

    // The id of a code; 0 (General) for none.
    FormatId format(std::string_view code);

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    InternFormat intern_;
    std::unordered_map<std::string, FormatId, Hash, std::equal_to<>> formats_;
};

// A literal of a format code: quoted, or as it is when its characters need no
// quotes and it need not stand out.
void appendLiteral(std::string& code, std::string_view text, bool quote = false);

}  // namespace qf::engine
