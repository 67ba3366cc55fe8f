#include "platform/Folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace torvane {

char folderSeparator() {
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}

std::string withTrailingSeparator(const std::string& folder) {
    if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) return folder;
    return folder + folderSeparator();
}

std::string systemTempFolder() {
    return withTrailingSeparator(QDir::toNativeSeparators(QDir::tempPath()).toStdString());
}

std::string programFolder() {
    if (QCoreApplication::instance())
        return withTrailingSeparator(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString());
    // A program without an application object (torvane-cli): the executable's own folder.
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    const QString dir = self.exists() ? QFileInfo(self.symLinkTarget()).absolutePath() : QDir::currentPath();
    return withTrailingSeparator(QDir::toNativeSeparators(dir).toStdString());
}

std::vector<std::string> listFiles(const std::string& folder, const std::string& suffix) {
    std::vector<std::string> names;
    QDir dir(QString::fromStdString(folder));
    const QString qsuffix = QString::fromStdString(suffix);
    for (const QFileInfo& fi : dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort))
        if (fi.fileName().endsWith(qsuffix, Qt::CaseInsensitive)) names.push_back(fi.fileName().toStdString());
    // Case-insensitive, as the folder listing of the original sorted it; ties keep byte order.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        int c = QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

}  // namespace torvane
