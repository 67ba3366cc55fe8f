#pragma once
// Common ground of the four progress dialogs (TOpenForm, TProcessForm, TReloadForm,
// TSaveForm): fixed client size, no title-bar buttons, bars running 0..100, and a Cancel
// button (where there is one) that ends the dialog with modal result 3.

#include <QDialog>
#include <functional>

class QProgressBar;
class QPushButton;

namespace torvane {

constexpr int kModalResultCancelled = 3;

class ProgressForm : public QDialog {
    Q_OBJECT
public:
    // The bar of index 0 (ProgressBar1) or 1 (ProgressBar2); null when the dialog has no such bar.
    QProgressBar* bar(int index) const;
    QPushButton* cancelButton() const { return m_cancel; }
    void resetBars();

    // True once Cancel ended the dialog during the current showing.
    bool cancelled() const { return m_cancelled; }
    // True once anything ended the dialog during the current showing.
    bool ended() const { return m_ended; }

    // While a worker runs, Cancel asks it to stop and the dialog waits for it to end; `ended` is
    // told on the interface thread when it has, with `hold` true to stay up until Cancel.
    void workerStarted(std::function<void()> requestStop);
    void workerEnded(bool hold);

    int exec() override;
    void done(int result) override;
    void reject() override;  // Escape and the window manager's close: Cancel where there is one

protected:
    ProgressForm(QWidget* parent, const QString& objectName, const QString& caption, int width, int height);
    QProgressBar* addBar(const char* name, int x, int y, int w, int h);
    void addLabel(const char* name, const QString& text, int x, int y);
    void addSeparator(int y);
    void addCancel(int x, int y);

    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    QProgressBar* m_bars[2] = {nullptr, nullptr};
    QPushButton* m_cancel = nullptr;
    void cancel();

    std::function<void()> m_requestStop;  // set while a worker runs
    bool m_cancelled = false;
    bool m_ended = false;
};

// Places a dialog's frame centred on its parent window (or leaves it where it is without one).
void centreOnParent(QWidget* dialog);

}  // namespace torvane
