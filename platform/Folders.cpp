#include "platform/Folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cstdlib>

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

namespace {

// folder when its files sit beside the program, else <folder>/../<installed> when that exists.
std::string installedFolder(const std::string& folder, const char* installed) {
    const QDir here(QString::fromStdString(folder));
    if (here.exists(QStringLiteral("VKLanguage"))) return withTrailingSeparator(folder);
    const QString there = QDir::cleanPath(here.absoluteFilePath(QStringLiteral("../") + QLatin1String(installed)));
    if (!QFileInfo(there).isDir()) return withTrailingSeparator(folder);
    return withTrailingSeparator(QDir::toNativeSeparators(there).toStdString());
}

}  // namespace

std::string programDataFolder(const std::string& programFolder) {
    return installedFolder(programFolder, "share/torvane");
}

std::string programLibraryFolder(const std::string& programFolder) {
    return installedFolder(programFolder, "lib/torvane");
}

namespace {

// A base directory: the variable when it names an absolute path (a relative one is to be
// ignored), else its default under the home folder.
std::string baseFolder(const char* variable, const char* underHome, QStandardPaths::StandardLocation onWindows) {
#ifdef _WIN32
    (void)variable;
    (void)underHome;
    const QString base = QStandardPaths::writableLocation(onWindows);
#else
    (void)onWindows;
    const char* value = std::getenv(variable);
    const QString base = value && value[0] == '/' ? QString::fromLocal8Bit(value) : QDir::homePath() + QLatin1String(underHome);
#endif
    return withTrailingSeparator(QDir::toNativeSeparators(QDir(base).filePath(QStringLiteral("torvane"))).toStdString());
}

}  // namespace

std::string userConfigFolder() { return baseFolder("XDG_CONFIG_HOME", "/.config", QStandardPaths::GenericConfigLocation); }

std::string userStateFolder() { return baseFolder("XDG_STATE_HOME", "/.local/state", QStandardPaths::GenericDataLocation); }

bool makePrivateFolder(const std::string& folder) {
    const QString path = QDir::cleanPath(QString::fromStdString(folder));
    if (QFileInfo(path).isDir()) return true;
    const QString above = QFileInfo(path).path();
    if (above == path || !makePrivateFolder(above.toStdString())) return false;
    QDir().mkdir(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Made by another instance meanwhile counts as well.
    return QFileInfo(path).isDir();
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
