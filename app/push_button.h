#pragma once
// The window's push buttons: a caption centred on the button face, and for the
// two move buttons a picture above the caption. The caption is always shown
// whole: where it does not fit in the button's font (a font wider than the
// design's), it is drawn in a smaller size of that font.

#include <QIcon>
#include <QPushButton>

namespace qf {

class PushButton : public QPushButton {
    Q_OBJECT
public:
    PushButton(const QString& caption, QWidget* parent);

    // A 32 x 32 picture shown above the caption.
    void setPicture(const QIcon& picture);
    const QIcon& picture() const { return picture_; }

    // Where the caption is laid out (word-wrapped and centred), and the font it
    // is drawn in: the button's own, or the largest smaller size of it in which
    // the whole caption fits there.
    QRect captionRect() const;
    QFont captionFont() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QIcon picture_;
};

}  // namespace qf
