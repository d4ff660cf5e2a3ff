#include "push_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace qf {

namespace {
constexpr int kPictureSize = 32;
constexpr int kMargin = 3;
constexpr int kCaptionFlags = Qt::AlignCenter | Qt::TextWordWrap;
}  // namespace

PushButton::PushButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

void PushButton::setPicture(const QIcon& picture) {
    picture_ = picture;
    update();
}

QRect PushButton::captionRect() const {
    QRect face = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
    if (!picture_.isNull()) face.setTop(face.top() + kMargin + kPictureSize);
    return face;
}

// A smaller size of the same font rather than an elided caption: the captions
// are the commands' names, and their ends tell them apart ("Remove Filenames
// Containing X" and "... Not Cont. X").
QFont PushButton::captionFont() const {
    const QRect area = captionRect();
    QFont font = this->font();
    auto fits = [&] {
        const QRect needed = QFontMetrics(font, this).boundingRect(area, kCaptionFlags, text());
        return needed.width() <= area.width() && needed.height() <= area.height();
    };
    const bool inPoints = font.pointSizeF() > 0;
    while (!fits()) {
        if (inPoints && font.pointSizeF() > 1.25)
            font.setPointSizeF(font.pointSizeF() - 0.25);
        else if (!inPoints && font.pixelSize() > 1)
            font.setPixelSize(font.pixelSize() - 1);
        else
            break;
    }
    return font;
}

void PushButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    // The style draws the face and the focus frame; the caption and picture are
    // laid out here so that long captions use the whole face and the picture
    // stands above its caption.
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButton, option);

    const QPoint pressed = isDown() || isChecked() ? QPoint(1, 1) : QPoint(0, 0);
    const bool enabled = isEnabled();
    if (!picture_.isNull()) {
        const QRect face = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin).translated(pressed);
        const QRect pictureRect(face.center().x() - kPictureSize / 2 + 1, face.top() + kMargin, kPictureSize,
                                kPictureSize);
        picture_.paint(&painter, pictureRect, Qt::AlignCenter, enabled ? QIcon::Normal : QIcon::Disabled);
    }
    painter.setPen(palette().color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.setFont(captionFont());
    painter.drawText(captionRect().translated(pressed), kCaptionFlags, text());
}

}  // namespace qf
