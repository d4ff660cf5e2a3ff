#include "cursor_file.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <algorithm>
#include <array>

#include "base/failure.h"

namespace qf {

namespace {

using failure_text::kInvalidPicture;
using failure_text::kPermissionDenied;
constexpr int kDirectorySize = 6;
constexpr int kEntrySize = 16;

// The directory and the first entry: reserved 0, type 2 (cursor), image count;
// then width, height, colours, reserved, hot spot x, hot spot y, size, offset.
struct Header {
    std::array<uchar, kDirectorySize + kEntrySize> bytes{};
    quint16 word(std::size_t at) const { return quint16(bytes[at] | bytes[at + 1] << 8); }
    quint32 dword(std::size_t at) const { return quint32(word(at)) | quint32(word(at + 2)) << 16; }
};

}  // namespace

CursorImage readCursorFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw Failure(kPermissionDenied);
    const QByteArray data = file.readAll();

    if (data.size() < kDirectorySize + kEntrySize) throw Failure(kInvalidPicture);
    Header header;
    std::copy_n(data.constData(), header.bytes.size(), header.bytes.begin());
    if (header.word(0) != 0 || header.word(2) != 2 || header.word(4) == 0) throw Failure(kInvalidPicture);
    const int entry = kDirectorySize;
    const quint32 size = header.dword(entry + 8);
    const quint32 offset = header.dword(entry + 12);
    if (size == 0 || offset < kDirectorySize + kEntrySize || offset > quint32(data.size()) ||
        size > quint32(data.size()) - offset)
        throw Failure(kInvalidPicture);

    QBuffer buffer;
    buffer.setData(data);
    QImageReader reader(&buffer, "cur");
    QImage image = reader.read();
    if (image.isNull()) throw Failure(kInvalidPicture);

    QPoint hotSpot(header.word(entry + 4), header.word(entry + 6));
    // A hot spot outside the image is read as the nearest point inside it.
    hotSpot.setX(qBound(0, hotSpot.x(), image.width() - 1));
    hotSpot.setY(qBound(0, hotSpot.y(), image.height() - 1));
    return {image, hotSpot};
}

QCursor toCursor(const CursorImage& cursor) {
    return QCursor(QPixmap::fromImage(cursor.image), cursor.hotSpot.x(), cursor.hotSpot.y());
}

}  // namespace qf
