#pragma once
// Loads a Windows cursor file (.cur) as a pointer image, with the hot spot the
// file names. Qt's image reader reads the pixels but not the hot spot, so the
// file's directory entry is read here.

#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QString>

namespace qf {

struct CursorImage {
    QImage image;
    QPoint hotSpot;
};

// Fails ("Invalid picture") when the file is not a cursor file whose first image
// can be read, and ("Permission denied") when it cannot be read at all.
CursorImage readCursorFile(const QString& path);

QCursor toCursor(const CursorImage& cursor);

}  // namespace qf
