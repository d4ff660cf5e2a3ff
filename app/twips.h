#pragma once
// The window's design measures places and sizes in twips: 1440 to the inch,
// so 15 to the pixel on a 96 dpi screen.

#include <QtMath>

namespace qf {

inline int twipsToPixels(int twips, double logicalDpi) { return qRound(twips * logicalDpi / 1440.0); }

}  // namespace qf
