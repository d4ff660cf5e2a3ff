#include "program_files.h"

#include <QDir>
#include <QFileInfo>

namespace qf {

std::string programFilesFolder(const std::string& executableFolder) {
    const QString here = QString::fromStdString(executableFolder);
    if (QFileInfo::exists(QDir(here).filePath(QStringLiteral("HAND-M.CUR")))) return executableFolder;
    const QString installed = QDir::cleanPath(QDir(here).filePath(QStringLiteral(QUILLFEN_DATA_FROM_BIN)));
    if (QFileInfo(installed).isDir()) return QDir::toNativeSeparators(installed).toStdString();
    return executableFolder;
}

}  // namespace qf
