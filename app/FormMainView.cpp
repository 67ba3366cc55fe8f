// The waveform view, transport, markers, zoom and meters of the main window. The logic is
// the transport's (view/Transport.h); here it meets the widgets: paint boxes, scroll box,
// zoom items, the reload dialog and the timer.

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>

#include "app/FormMain.h"
#include "app/TReloadForm.h"
#include "app/WorkerThread.h"
#include "platform/Prompts.h"
#include "view/PeakScan.h"
#include "view/Spectrum.h"
#include "view/Transport.h"
#include "view/Volume.h"
#include "view/WaveView.h"

namespace torvane {

namespace {

MouseButton mouseButtonOf(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton: return MouseButton::Left;
    case Qt::RightButton: return MouseButton::Right;
    default: return MouseButton::Middle;  // any other button does nothing, as the middle one
    }
}

}  // namespace

// --- start-up and shut-down ---------------------------------------------------------------

void TMainForm::createView() {
    TransportHooks hooks;
    hooks.setUIMode = [this](std::uint32_t mode) { SetUIMode(mode); };
    hooks.repaint = [this](const WaveformScene& scene) { showScene(scene); };
    hooks.reloadPeaks = [this] { reloadPeaks(); };
    hooks.setViewWidth = [this](std::uint32_t width) { setWaveWidth(int(width)); };
    hooks.openPopup = [this](int x, int y) { PopupMenu1->popup(PaintBox1->mapToGlobal(QPoint(x, y))); };
    hooks.metersDrawn = [this] {
        PaintBox2->update();
        PaintBox3->update();
    };
    m_transport = std::make_unique<Transport>(m_doc, std::move(hooks));

    for (QWidget* w : {PaintBox1, PaintBox2, PaintBox3}) w->installEventFilter(this);
}

// The meters are sized by their paint boxes; without an engine there are none.
void TMainForm::createMeters() {
    m_spectrum = std::make_unique<TSpectrum>(PaintBox2->width(), PaintBox2->height());
    m_volume = std::make_unique<TVolume>(PaintBox3->width(), PaintBox3->height());
    m_transport->attachMeters(m_spectrum.get(), m_volume.get());
}

void TMainForm::destroyMeters() {
    if (m_transport) m_transport->attachMeters(nullptr, nullptr);
    m_spectrum.reset();
    m_volume.reset();
}

// --- painting and the mouse ---------------------------------------------------------------

WaveformScene TMainForm::waveScene() const {
    WaveformScene scene = waveSceneFor(m_doc);
    applyWindowLook(scene);
    return scene;
}

// The system colours and the label font come from the window, not the document.
void TMainForm::applyWindowLook(WaveformScene& scene) const {
    const QPalette& palette = PaintBox1->palette();
    scene.rulerColour = palette.color(QPalette::ToolTipBase).rgb();
    scene.finishColour = palette.color(QPalette::Midlight).rgb();
    scene.font = PaintBox1->font();
}

// Only the exposed part is drawn: an hour at 1 : 1 is ~159 000 columns, and the pixels of a
// part are those the whole bitmap would hold there.
void TMainForm::paintWaveExposed(const QRect& exposed) {
    const WaveformScene fresh = m_pendingScene ? WaveformScene{} : waveScene();
    const WaveformScene& scene = m_pendingScene ? *m_pendingScene : fresh;
    const QRect r = exposed.intersected(PaintBox1->rect());
    if (r.isEmpty()) return;
    if (m_waveBitmap.width() != r.width() || m_waveBitmap.height() != kWaveBitmapHeight)
        m_waveBitmap = QImage(r.width(), kWaveBitmapHeight, QImage::Format_RGB32);
    renderWaveformPart(scene, r.x(), m_waveBitmap);
    {
        QPainter painter(PaintBox1);
        painter.drawImage(QPoint(r.x(), 0), m_waveBitmap);
    }
    // A paint the transport did not start (exposure, scrolling) still halts playback on a
    // marker; the transport applies the rule after its own paints.
    if (!m_pendingScene) m_transport->applyStopRule(scene.playColumn);
}

// The transport's repaint: the scene it will judge the stop rule by is the one drawn. While
// playing, the view first turns the page when the cursor has left it.
void TMainForm::showScene(const WaveformScene& scene) {
    WaveformScene s = scene;
    applyWindowLook(s);

    if (m_doc.uiMode == ModePlaying) {
        QScrollBar* bar = ScrollBox1->horizontalScrollBar();
        const std::int64_t left = followCursorLeft(s.playColumn, bar->value(), ScrollBox1->viewport()->width(),
                                                   PaintBox1->width());
        if (left != bar->value()) bar->setValue(int(left));
    }
    m_pendingScene = &s;
    PaintBox1->repaint();
    m_pendingScene = nullptr;
}

void TMainForm::PaintBox1Paint() { m_transport->paint(); }

void TMainForm::PaintBox1MouseDown(Qt::MouseButton button, int x, int y) {
    m_transport->mouseDown(mouseButtonOf(button), x, y);
}

void TMainForm::PaintBox1MouseUp(Qt::MouseButton button, int x, int y) {
    m_transport->mouseUp(mouseButtonOf(button), x, y);
}

bool TMainForm::viewEventFilter(QObject* watched, QEvent* e) {
    if (watched == PaintBox1) {
        switch (e->type()) {
        case QEvent::Paint:
            // Nothing is drawn while no document is loaded.
            if (waveViewShowsDocument(m_doc)) paintWaveExposed(static_cast<QPaintEvent*>(e)->rect());
            return true;
        case QEvent::MouseButtonPress: {
            auto* m = static_cast<QMouseEvent*>(e);
            PaintBox1MouseDown(m->button(), m->position().toPoint().x(), m->position().toPoint().y());
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* m = static_cast<QMouseEvent*>(e);
            PaintBox1MouseUp(m->button(), m->position().toPoint().x(), m->position().toPoint().y());
            return true;
        }
        default: return false;
        }
    }
    // The meters have no paint handler of their own: they show what the last tick drew.
    if (e->type() == QEvent::Paint && (watched == PaintBox2 || watched == PaintBox3)) {
        const QImage* picture = nullptr;
        if (watched == PaintBox2 && m_spectrum) picture = &m_spectrum->picture();
        if (watched == PaintBox3 && m_volume) picture = &m_volume->picture();
        if (picture) {
            QPainter painter(static_cast<QWidget*>(watched));
            painter.drawImage(QPoint(0, 0), *picture);
        }
        return true;
    }
    return false;
}

// --- selection and markers ----------------------------------------------------------------

void TMainForm::MSelectAllClick() { m_transport->selectAll(); }
void TMainForm::CButtonSetStartClick() { m_transport->setStartMarker(); }
void TMainForm::CButtonSetFinishClick() { m_transport->setFinishMarker(); }

// --- zoom ---------------------------------------------------------------------------------

void TMainForm::syncZoomChecks() {
    const std::pair<QAction*, std::int32_t> items[] = {{MZoom10, 10000}, {MZoom8, 8000}, {MZoom6, 6000},
                                                       {MZoom4, 4000},   {MZoom2, 2000}, {MZoom1, 1000}};
    for (const auto& [action, frames] : items) action->setChecked(m_doc.framesPerColumn == frames);
}

// TReloadThread: the reload body runs inside ReloadForm's modal loop. The dialog ends on a
// failure too: the user could not close it otherwise.
void TMainForm::reloadPeaks() {
    syncZoomChecks();
    WorkerThread::runModal(*ReloadForm, [this](DialogProgress& progress) {
        const std::string failure = reloadPeakTable(m_doc, progress, 0);
        if (!failure.empty()) m_prompts->message(failure);
        ReloadForm->done(QDialog::Accepted);
    });
    PaintBox1->update();
}

void TMainForm::MZoom10Click() { m_transport->zoomTo(10000); }
void TMainForm::MZoom8Click() { m_transport->zoomTo(8000); }
void TMainForm::MZoom6Click() { m_transport->zoomTo(6000); }
void TMainForm::MZoom4Click() { m_transport->zoomTo(4000); }
void TMainForm::MZoom2Click() { m_transport->zoomTo(2000); }
void TMainForm::MZoom1Click() { m_transport->zoomTo(1000); }
void TMainForm::ButtonZoomInClick() { m_transport->zoomIn(); }
void TMainForm::ButtonZoomOutClick() { m_transport->zoomOut(); }

// --- transport ----------------------------------------------------------------------------

void TMainForm::CButtonPlayClick() { m_transport->play(); }
void TMainForm::CButtonPlayFromHereClick() { m_transport->playFromHere(); }
void TMainForm::CButtonPauseClick() { m_transport->pause(); }
void TMainForm::CButtonStopClick() { m_transport->stop(); }

// --- the 100 ms tick ----------------------------------------------------------------------

// Moves the play cursor while playing, stops at the end of the stream, and feeds the meters
// on every tick in every mode.
void TMainForm::Timer1Timer() {
    if (m_transport) m_transport->timerTick();
}

}  // namespace torvane
