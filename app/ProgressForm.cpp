#include "app/ProgressForm.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "i18n/CaptionKeys.h"

namespace torvane {

void centreOnParent(QWidget* dialog) {
    QWidget* parent = dialog->parentWidget();
    if (!parent) return;
    QWidget* window = parent->window();
    QRect frame = dialog->frameGeometry();
    frame.moveCenter(window->frameGeometry().center());
    dialog->move(frame.topLeft());
}

ProgressForm::ProgressForm(QWidget* parent, const QString& objectName, const QString& caption, int width,
                           int height)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(objectName);
    setWindowTitle(caption);
    setFixedSize(width, height);
    setModal(true);
    setFont(QFont(QStringLiteral("Tahoma"), 8));  // dialogs are windows: they do not inherit it
}

QProgressBar* ProgressForm::addBar(const char* name, int x, int y, int w, int h) {
    auto* bar = new QProgressBar(this);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setGeometry(x, y, w, h);
    m_bars[m_bars[0] ? 1 : 0] = bar;
    return bar;
}

void ProgressForm::addLabel(const char* name, const QString& text, int x, int y) {
    auto* label = new QLabel(text, this);
    label->setObjectName(QString::fromLatin1(name));
    label->move(x, y);
}

void ProgressForm::addSeparator(int y) {
    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("Bevel1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(8, y, width() - 16, 2);
}

void ProgressForm::addCancel(int x, int y) {
    m_cancel = new QPushButton(QString::fromStdString(captionText(nullptr, "Common", "Cancel")), this);
    m_cancel->setObjectName(QStringLiteral("ButtonCancel"));
    m_cancel->setGeometry(x, y, 75, 25);
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, [this] { cancel(); });
}

QProgressBar* ProgressForm::bar(int index) const { return (index == 0 || index == 1) ? m_bars[index] : nullptr; }

void ProgressForm::resetBars() {
    for (QProgressBar* b : m_bars)
        if (b) b->setValue(0);
}

void ProgressForm::workerStarted(std::function<void()> requestStop) {
    m_requestStop = std::move(requestStop);
    m_cancelled = false;
    m_ended = false;
}

void ProgressForm::workerEnded(bool hold) {
    if (!m_requestStop) return;
    m_requestStop = nullptr;
    if (m_ended) return;
    if (m_cancelled) done(kModalResultCancelled);
    else if (!hold) done(1);
}

void ProgressForm::cancel() {
    if (m_ended || m_cancelled) return;
    m_cancelled = true;
    // The work stops at its next step; the dialog ends when it has.
    if (m_requestStop) m_requestStop();
    else done(kModalResultCancelled);
}

int ProgressForm::exec() {
    if (!m_requestStop) {
        m_cancelled = false;
        m_ended = false;
    }
    return QDialog::exec();
}

void ProgressForm::done(int result) {
    if (result == kModalResultCancelled) m_cancelled = true;
    m_ended = true;
    QDialog::done(result);
}

void ProgressForm::showEvent(QShowEvent* e) {
    centreOnParent(this);
    QDialog::showEvent(e);
}

void ProgressForm::reject() {
    // Only the Cancel button's dialogs can be left by the user; the others end with their worker.
    if (m_cancel && m_cancel->isEnabled()) cancel();
}

void ProgressForm::closeEvent(QCloseEvent* e) {
    if (!m_ended) {
        e->ignore();
        reject();
        return;
    }
    QDialog::closeEvent(e);
}

}  // namespace torvane
