#include "platform/DesktopHandlers.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace torvane {

bool desktopHasHandlerFor(const std::string& mimeType) {
#ifdef _WIN32
    (void)mimeType;
    return true;
#else
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty()) return false;
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), QString::fromStdString(mimeType)});
    if (!query.waitForFinished(2000)) {
        query.kill();
        query.waitForFinished(500);
        return false;
    }
    return query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
#endif
}

}  // namespace torvane
