#include "progress_bar.h"

#include <QStyleOptionProgressBar>
#include <QStylePainter>
#include <cmath>

#include "base/failure.h"

namespace qf {

namespace {
// The painted bar runs on a finer scale so that a fraction of a percent shows.
constexpr int kSteps = 100000;
}  // namespace

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
}

void ProgressBar::setProgress(double value) {
    if (!std::isfinite(value) || value < 0 || value > 100) throw Failure("Invalid property value");
    progress_ = value;
    // QProgressBar repaints at once, outside the event loop, whenever its whole
    // value changes. This bar paints from progress_ and the update() below paints
    // it with the next round of events, so that repaint would only paint it twice.
    const bool painting = updatesEnabled();
    if (painting) setUpdatesEnabled(false);
    setValue(static_cast<int>(std::floor(value)));
    if (painting) setUpdatesEnabled(true);
    update();
}

void ProgressBar::setCaption(const QString& text) {
    caption_ = text;
    update();
}

void ProgressBar::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    option.minimum = 0;
    option.maximum = kSteps;
    option.progress = static_cast<int>(std::lround(progress_ * (kSteps / 100)));
    option.text = caption_;
    painter.drawControl(QStyle::CE_ProgressBar, option);
}

}  // namespace qf
