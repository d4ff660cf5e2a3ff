#include "window_services.h"

#include <utility>

namespace qf {

void WindowServices::setPointer(int code) {
    pointer_ = code;
    for (auto& listener : pointerListeners_) listener(code);
}

void WindowServices::addPointerListener(std::function<void(int)> listener) {
    pointerListeners_.push_back(std::move(listener));
}

}  // namespace qf
