#pragma once
// The window's push buttons: a caption centred on the button face, and for the
// two move buttons a picture above the caption.

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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QIcon picture_;
};

}  // namespace qf
