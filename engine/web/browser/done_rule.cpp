#include "done_rule.h"

namespace qf::browser {

bool pageDone(const DoneRule& rule, const PageProgress& progress) {
    if (!progress.loaded || !progress.unchangedFor) return false;
    if (progress.youngestPending && *progress.youngestPending < rule.requestGrace) return false;
    return *progress.unchangedFor >= rule.quiet;
}

}  // namespace qf::browser
