#include "push_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace qf {

namespace {
constexpr int kPictureSize = 32;
constexpr int kMargin = 3;
}  // namespace

PushButton::PushButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

void PushButton::setPicture(const QIcon& picture) {
    picture_ = picture;
    update();
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

    QRect face = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
    if (isDown() || isChecked()) face.translate(1, 1);
    const bool enabled = isEnabled();
    if (!picture_.isNull()) {
        const QRect pictureRect(face.center().x() - kPictureSize / 2 + 1, face.top() + kMargin, kPictureSize,
                                kPictureSize);
        picture_.paint(&painter, pictureRect, Qt::AlignCenter, enabled ? QIcon::Normal : QIcon::Disabled);
        face.setTop(pictureRect.bottom() + 1);
    }
    painter.setPen(palette().color(enabled ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(face, Qt::AlignCenter | Qt::TextWordWrap, text());
}

}  // namespace qf
