#include "platform/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include "platform/Folders.h"

namespace torvane {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

std::string programSettingsFile(const std::string& programFolder) {
    return withTrailingSeparator(programFolder) + kSettingsFileName;
}

std::string userSettingsFile() { return userSettingsFolder() + kSettingsFileName; }

// The program folder's file is ours when a file can be made beside it and, if it is already
// there, it opens for writing (a file left read-only keeps its folder's owner in charge).
bool programFolderHoldsSettings(const std::string& programFolder) {
    if (!folderIsWritable(programFolder)) return false;
    QFile existing(qs(programSettingsFile(programFolder)));
    if (!existing.exists()) return true;
    // Append changes nothing when nothing is written.
    return existing.open(QIODevice::WriteOnly | QIODevice::Append);
}

}  // namespace

bool folderIsWritable(const std::string& folder) {
    if (folder.empty() || !QFileInfo(qs(folder)).isDir()) return false;
    QTemporaryFile probe(QDir(qs(folder)).filePath(QStringLiteral(".torvane-probe-XXXXXX")));
    probe.setAutoRemove(true);
    return probe.open();
}

std::string userSettingsFolder() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
    return withTrailingSeparator(QDir::toNativeSeparators(QDir(base).filePath(QStringLiteral("torvane"))).toStdString());
}

std::string settingsFilePath(const std::string& programFolder) {
    if (programFolderHoldsSettings(programFolder)) return programSettingsFile(programFolder);
    const std::string user = userSettingsFile();
    if (QFileInfo::exists(qs(user))) return user;
    const std::string shipped = programSettingsFile(programFolder);
    if (QFileInfo(qs(shipped)).isFile()) return shipped;
    // Start-up writes the language it chose through this path; the file itself waits for that.
    QDir().mkpath(qs(userSettingsFolder()));
    return user;
}

std::string writableSettingsFilePath(const std::string& programFolder) {
    if (programFolderHoldsSettings(programFolder)) return programSettingsFile(programFolder);
    const std::string user = userSettingsFile();
    if (!QDir().mkpath(qs(userSettingsFolder()))) return {};
    if (!QFileInfo::exists(qs(user))) {
        const QString shipped = qs(programSettingsFile(programFolder));
        // Should the copy fail, the write simply starts a file of its own.
        if (QFileInfo(shipped).isFile() && QFile::copy(shipped, qs(user)))
            QFile::setPermissions(qs(user), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    return user;
}

}  // namespace torvane
