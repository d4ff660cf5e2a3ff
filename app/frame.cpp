#include "frame.h"

#include <QPainter>
#include <qdrawutil.h>

namespace qf {

namespace {
constexpr int kTitleIndent = 8;
}

Frame::Frame(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

void Frame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    // An etched edge whose top runs through the middle of the title.
    const QRect edge = rect().adjusted(0, metrics.height() / 2, -1, -1);
    qDrawShadeRect(&painter, edge, palette(), true, 1, 0);
    const QRect titleArea(kTitleIndent, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
    painter.fillRect(titleArea, palette().color(backgroundRole()));
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(titleArea, Qt::AlignCenter, title());
}

}  // namespace qf
