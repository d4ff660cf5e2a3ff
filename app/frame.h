#pragma once
// Frame1: a frame with its title set into the top edge. The frame is painted
// here so that its inside is exactly the frame's background colour (the style's
// own group box shades it).

#include <QGroupBox>

namespace qf {

class Frame : public QGroupBox {
    Q_OBJECT
public:
    Frame(const QString& title, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace qf
