#include "cursor_file.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

#include "base/failure.h"

namespace qf {

namespace {

constexpr const char* kInvalidPicture = "Invalid picture";
constexpr const char* kPermissionDenied = "Permission denied";
constexpr int kDirectorySize = 6;
constexpr int kEntrySize = 16;

quint16 word(const QByteArray& data, int at) { return qFromLittleEndian<quint16>(data.constData() + at); }
quint32 dword(const QByteArray& data, int at) { return qFromLittleEndian<quint32>(data.constData() + at); }

}  // namespace

CursorImage readCursorFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw Failure(kPermissionDenied);
    const QByteArray data = file.readAll();

    // Directory: reserved 0, type 2 (cursor), image count; then one 16-byte entry
    // per image: width, height, colours, reserved, hot spot x, hot spot y, size, offset.
    if (data.size() < kDirectorySize + kEntrySize || word(data, 0) != 0 || word(data, 2) != 2 || word(data, 4) == 0)
        throw Failure(kInvalidPicture);
    const int entry = kDirectorySize;
    const quint32 size = dword(data, entry + 8);
    const quint32 offset = dword(data, entry + 12);
    if (size == 0 || offset < kDirectorySize + kEntrySize || offset > quint32(data.size()) ||
        size > quint32(data.size()) - offset)
        throw Failure(kInvalidPicture);

    QBuffer buffer;
    buffer.setData(data);
    QImageReader reader(&buffer, "cur");
    QImage image = reader.read();
    if (image.isNull()) throw Failure(kInvalidPicture);

    QPoint hotSpot(word(data, entry + 4), word(data, entry + 6));
    // A hot spot outside the image is read as the nearest point inside it.
    hotSpot.setX(qBound(0, hotSpot.x(), image.width() - 1));
    hotSpot.setY(qBound(0, hotSpot.y(), image.height() - 1));
    return {image, hotSpot};
}

QCursor toCursor(const CursorImage& cursor) {
    return QCursor(QPixmap::fromImage(cursor.image), cursor.hotSpot.x(), cursor.hotSpot.y());
}

}  // namespace qf
