#include "app/QtPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QDesktopServices>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QMessageBox>
#include <QUrl>

#include "i18n/Messages.h"
#include "platform/DesktopHandlers.h"

namespace torvane {

QString qtFilterFromWindows(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return out.join(QStringLiteral(";;"));
}

namespace {
// The captions of a Windows filter text, as the dialog shows them (blanks run together).
QStringList filterCaptions(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) out << parts[i].simplified();
    return out;
}
}  // namespace

int QtPrompts::messageBox(const MessageRequest& request) {
    QWidget* owner = request.ownerless ? nullptr : (m_owner ? m_owner->window() : QApplication::activeWindow());
    QMessageBox box(owner);
    const MessageId captionId = request.ownerless ? MessageId::CaptionError : MessageId::AppTitle;
    const QString fallback = QString::fromStdString(m_text ? m_text(captionId) : messageText(captionId));
    box.setWindowTitle(request.caption.empty() ? fallback : QString::fromStdString(request.caption));
    // A path in the text is broken only where its own text may break (a blank), never after
    // one of its slashes: a word joiner follows each.
    box.setText(QString::fromStdString(request.text).replace(QLatin1Char('/'), QStringLiteral("/\u2060")));
    switch (request.icon) {
    case PromptIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case PromptIcon::Information: box.setIcon(QMessageBox::Information); break;
    case PromptIcon::Question: box.setIcon(QMessageBox::Question); break;
    case PromptIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case PromptIcon::Error: box.setIcon(QMessageBox::Critical); break;
    }
    switch (request.buttons) {
    case PromptButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case PromptButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case PromptButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return request.buttons == PromptButtons::Ok ? IDOK : IDCANCEL;
    }
}

std::optional<FileDialogResult> QtPrompts::fileDialog(const FileDialogRequest& request) {
    QFileDialog dialog(m_owner ? m_owner->window() : QApplication::activeWindow());
    if (!request.title.empty()) dialog.setWindowTitle(QString::fromStdString(request.title));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The editor asks its own overwrite question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    // The captions already name their patterns ("WAV Files(*.wav)"): the list shows each
    // caption as the language file gives it, and the patterns appended for the dialog stay
    // out of sight. Set before the filters, which the list is filled from.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    const QStringList filters = qtFilterFromWindows(request.filter).split(QStringLiteral(";;"));
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dialog.selectNameFilter(filters[request.filterIndex - 1]);
    if (!request.folder.empty()) dialog.setDirectory(QString::fromStdString(request.folder));
    if (!request.fileName.empty()) dialog.selectFile(QString::fromStdString(request.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    FileDialogResult result;
    result.path = QDir::toNativeSeparators(dialog.selectedFiles().first()).toStdString();
    // With the patterns hidden the dialog names the chosen filter by its caption alone; a
    // platform dialog may name it whole.
    const QString chosen = dialog.selectedNameFilter();
    qsizetype index = filters.indexOf(chosen);
    if (index < 0) index = filterCaptions(request.filter).indexOf(chosen.simplified());
    result.filterIndex = int(index) + 1;
    if (result.filterIndex < 1) result.filterIndex = 1;
    return result;
}

bool QtPrompts::openExternal(const std::string& target) {
    const QString t = QString::fromStdString(target);
    const QUrl url = t.contains(QStringLiteral("://")) ? QUrl(t) : QUrl::fromLocalFile(t);
    if (!QDesktopServices::openUrl(url)) return false;
#ifdef _WIN32
    return true;
#else
    // xdg-open starts, and so "succeeds", even where nothing can show the target: where the
    // desktop can be asked, count it as shown only when it names a program for the target's kind
    // (or $BROWSER names one).
    if (!qEnvironmentVariableIsEmpty("BROWSER") || QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty())
        return true;
    const QString kind = url.isLocalFile() ? QMimeDatabase().mimeTypeForFile(url.toLocalFile()).name()
                                           : QStringLiteral("x-scheme-handler/") + url.scheme();
    return desktopHasHandlerFor(kind.toStdString());
#endif
}

}  // namespace torvane
