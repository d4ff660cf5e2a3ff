#include "window_services.h"

#include <utility>

#include "trap.h"

namespace qf {

MessageAnswer WindowServices::detailedMessageBox(const std::string& text, const std::string&, MessageButtons buttons,
                                                 MessageIcon icon, const std::string& caption) {
    return messageBox(text, buttons, icon, caption);
}

void WindowServices::reportFailure(const std::string& description, const std::string& location, int line) {
    messageBox(errorReportText(description, location, line), MessageButtons::Ok, MessageIcon::Exclamation,
               kErrorReportCaption);
}

void WindowServices::setPointer(Pointer pointer) {
    if (pointer == Pointer::Hourglass) {
        setBusy(true);
        return;
    }
    pointer_ = pointer;
    if (!busy_) showPointer();
}

void WindowServices::setBusy(bool busy) {
    busy_ = busy;
    if (!busy) pointer_ = Pointer::Default;
    showPointer();
}

void WindowServices::showPointer() {
    const Pointer shown = pointer();
    for (auto& listener : pointerListeners_) listener(shown);
}

void WindowServices::addPointerListener(std::function<void(Pointer)> listener) {
    pointerListeners_.push_back(std::move(listener));
}

}  // namespace qf
