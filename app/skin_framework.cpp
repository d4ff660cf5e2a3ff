#include "skin_framework.h"

#include <QFile>
#include <QStringDecoder>
#include <QStyle>
#include <QWidget>

#include "base/failure.h"

namespace qf {

void SkinFramework::load(const std::string& path, const std::string& section) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) throw Failure("Skin file could not be read: " + path);
    const QByteArray data = file.readAll();
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(data);
    if (decoder.hasError() || data.contains('\0')) throw Failure("Not a skin file: " + path);
    if (!section.empty()) {
        // "/* [section] */" opens a part; the part runs to the next such marker.
        const QString marker = QStringLiteral("/* [") + QString::fromStdString(section) + QStringLiteral("] */");
        const qsizetype start = text.indexOf(marker);
        if (start < 0) throw Failure("The skin file has no part named " + section + ": " + path);
        text = text.mid(start + marker.size());
        const qsizetype end = text.indexOf(QStringLiteral("/* ["));
        if (end >= 0) text.truncate(end);
    }
    styleSheet_ = text;
    loaded_ = true;
}

bool SkinFramework::property(int id) const {
    if (id == kSkinWindow) return skinWindow_;
    if (id == kRepolish) return repolish_;
    throw Failure(failure_text::kNotSupported);
}

void SkinFramework::setProperty(int id, bool value) {
    if (id == kSkinWindow)
        skinWindow_ = value;
    else if (id == kRepolish)
        repolish_ = value;
    else
        throw Failure(failure_text::kNotSupported);
}

void SkinFramework::apply(QWidget& window) const {
    if (!(optionFlags_ & kEnabled) || !loaded_ || !skinWindow_) return;
    window.setStyleSheet(styleSheet_);
    if (!repolish_) return;
    for (QWidget* control : window.findChildren<QWidget*>()) {
        control->style()->unpolish(control);
        control->style()->polish(control);
        control->update();
    }
}

}  // namespace qf
