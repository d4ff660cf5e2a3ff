#pragma once
// SkinFramework1: the window's skin component. A skin file is a Qt style sheet
// (UTF-8 text). The start-up skin routine drives it with the component's calls,
// in this order: load the file, read the option flags and write them back with
// bit 1 set, switch on properties 5 and 10, apply to the window.
//
// What the switches do:
//   option flag 1 (kEnabled)    apply() does nothing unless it is set;
//   property 5 (kSkinWindow)    apply() sets the loaded sheet on the window;
//   property 10 (kRepolish)     apply() re-polishes every control so the new
//                               look shows at once.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <string>

class QWidget;

namespace qf {

class SkinFramework {
public:
    static constexpr std::int32_t kEnabled = 1;
    static constexpr int kSkinWindow = 5;
    static constexpr int kRepolish = 10;

    // Reads the skin file; section names a part of a skin file holding several
    // (empty: the whole file). Fails when the file cannot be read or is not text.
    void load(const std::string& path, const std::string& section);

    std::int32_t optionFlags() const { return optionFlags_; }
    void setOptionFlags(std::int32_t flags) { optionFlags_ = flags; }

    // The boolean properties by number (5 and 10); any other number fails.
    bool property(int id) const;
    void setProperty(int id, bool value);

    // Applies the loaded skin to a window.
    void apply(QWidget& window) const;

    const QString& styleSheet() const { return styleSheet_; }
    bool loaded() const { return loaded_; }

private:
    QString styleSheet_;
    bool loaded_ = false;
    std::int32_t optionFlags_ = 0;
    bool skinWindow_ = false;
    bool repolish_ = false;
};

}  // namespace qf
