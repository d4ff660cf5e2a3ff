#pragma once
// ProgressBar1: range 0 to 100, a value that keeps its fraction (the import run
// sets n / N x 100), and a text shown exactly as set. Qt's progress bar would
// read "%p", "%v" and "%m" in the text as placeholders; a URL may well contain
// them, so this bar shows its own text instead.

#include <QProgressBar>
#include <QString>

namespace qf {

class ProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit ProgressBar(QWidget* parent = nullptr);

    // 0 to 100; any other value fails ("Invalid property value") and changes nothing.
    void setProgress(double value);
    double progress() const { return progress_; }

    void setCaption(const QString& text);
    QString text() const override { return caption_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double progress_ = 0;
    QString caption_;
};

}  // namespace qf
