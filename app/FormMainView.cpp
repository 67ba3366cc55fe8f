// The waveform view, transport, markers, zoom and meters of the main window. The rules are
// the session's; here they meet the widgets: paint boxes, scroll box, zoom items, the reload
// dialog and the timer.

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QToolButton>
#include <QWheelEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/FormMain.h"
#include "app/TReloadForm.h"
#include "app/WorkerThread.h"
#include "platform/Prompts.h"
#include "view/Spectrum.h"
#include "view/Volume.h"
#include "view/WaveView.h"

namespace torvane {

// --- start-up and shut-down ---------------------------------------------------------------

void TMainForm::createView() {
    for (QWidget* w : {PaintBox1, PaintBox2, PaintBox3}) w->installEventFilter(this);
    // The wheel over the paint box, and over the space around it that the viewport shows.
    ScrollBox1->viewport()->installEventFilter(this);
}

// The meters are sized by their paint boxes; without an engine there are none.
void TMainForm::createMeters() {
    m_spectrum = std::make_unique<TSpectrum>(PaintBox2->width(), PaintBox2->height());
    m_volume = std::make_unique<TVolume>(PaintBox3->width(), PaintBox3->height());
}

void TMainForm::destroyMeters() {
    m_spectrum.reset();
    m_volume.reset();
}

// --- painting and the mouse ---------------------------------------------------------------

WaveformScene TMainForm::waveScene() {
    WaveformScene scene = waveSceneFor(m_doc, m_session.playPosition());
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
    // A paint repaintWave() did not start (exposure, scrolling) still halts playback on a
    // marker; repaintWave() applies the rule after its own paints.
    if (!m_pendingScene && m_session.applyStopRule(scene.playColumn)) SetUIMode(ModePaused);
}

void TMainForm::repaintWave() {
    if (!waveViewShowsDocument(m_doc)) return;
    WaveformScene s = waveScene();
    if (m_doc.uiMode == ModePlaying) {
        QScrollBar* bar = ScrollBox1->horizontalScrollBar();
        const std::int64_t left = followCursorLeft(s.playColumn, bar->value(), ScrollBox1->viewport()->width(),
                                                   PaintBox1->width());
        if (left != bar->value()) bar->setValue(int(left));
    }
    m_pendingScene = &s;
    PaintBox1->repaint();
    m_pendingScene = nullptr;
    if (m_session.applyStopRule(s.playColumn)) SetUIMode(ModePaused);
}

void TMainForm::PaintBox1Paint() { repaintWave(); }

int TMainForm::runCommand(ProgressForm& dialog, const std::function<void(WorkerProgress&)>& body) {
    // The document is the worker's until the command ends: the view keeps what it showed.
    const QRect visible = PaintBox1->visibleRegion().boundingRect();
    m_viewDuringCommand = waveViewShowsDocument(m_doc) && !visible.isEmpty() ? PaintBox1->grab(visible) : QPixmap();
    m_viewDuringCommandAt = visible.topLeft();
    m_commandRunning = true;
    const int result = WorkerThread::runModal(dialog, body);
    m_commandRunning = false;
    m_viewDuringCommand = QPixmap();
    return result;
}

// The ruler band (y 201 and below) does not react.
void TMainForm::PaintBox1MouseDown(Qt::MouseButton button, int x, int y) {
    if (!m_session.hasPlayer() || y > 200 || button != Qt::LeftButton) return;
    m_session.placeAt(std::uint32_t(std::max(x, 0)));
    m_dragFrom = std::max(x, 0);
    m_dragging = false;
    afterTransport(true);
}

void TMainForm::waveDrag(int x) {
    if (!m_dragFrom || m_commandRunning || !m_session.hasPlayer()) return;
    // A press that barely moves is a click: it only places the play position.
    if (!m_dragging && std::abs(x - *m_dragFrom) < QApplication::startDragDistance()) return;
    m_dragging = true;
    // Past the visible part the view follows the pointer.
    QScrollBar* bar = ScrollBox1->horizontalScrollBar();
    const int shownLeft = bar->value(), shownRight = bar->value() + ScrollBox1->viewport()->width();
    if (x < shownLeft) bar->setValue(x);
    else if (x >= shownRight) bar->setValue(x - ScrollBox1->viewport()->width() + 1);
    const int last = int(m_doc.view.columnCount) - 1;
    const int a = std::clamp(std::min(x, *m_dragFrom), 0, std::max(last, 0));
    const int b = std::clamp(std::max(x, *m_dragFrom), 0, std::max(last, 0));
    if (a < b && m_session.select(std::uint32_t(a), std::uint32_t(b))) afterTransport(true);
}

void TMainForm::PaintBox1MouseUp(Qt::MouseButton button, int x, int y) {
    if (button == Qt::LeftButton && m_dragFrom) {
        if (m_dragging) m_session.rememberSelection();
        m_dragFrom.reset();
        m_dragging = false;
    }
    if (!m_session.hasPlayer() || y > 200 || button != Qt::RightButton) return;
    m_session.placeAt(std::uint32_t(std::max(x, 0)));
    afterTransport(true);
    PopupMenu1->popup(PaintBox1->mapToGlobal(QPoint(x, y)));
}

// One notch of a wheel (120 eighths of a degree) scrolls a tenth of the visible width, so a
// few notches cross the view whatever the window's size; finer wheels and touchpads scroll
// their share of that. A vertical wheel scrolls sideways too: the view has nothing else to
// scroll. With Ctrl a notch is one zoom level, up zooming in, as the zoom buttons would.
bool TMainForm::waveWheel(QWheelEvent* e) {
    if (m_commandRunning || !waveViewShowsDocument(m_doc)) return false;
    const QPoint angle = e->angleDelta();
    const int delta = std::abs(angle.x()) > std::abs(angle.y()) ? angle.x() : angle.y();
    e->accept();
    if (e->modifiers() & Qt::ControlModifier) {
        m_wheelScrollRest = 0;
        m_wheelZoomRest += delta;
        if (std::abs(m_wheelZoomRest) < 120) return true;
        QToolButton* button = m_wheelZoomRest > 0 ? ButtonZoomIn : ButtonZoomOut;
        m_wheelZoomRest = 0;
        if (!button->isEnabled()) return true;
        m_zoomAnchorX = ScrollBox1->viewport()->mapFromGlobal(e->globalPosition()).toPoint().x();
        if (button == ButtonZoomIn) ButtonZoomInClick();
        else ButtonZoomOutClick();
        m_zoomAnchorX.reset();
        return true;
    }
    m_wheelZoomRest = 0;
    QScrollBar* bar = ScrollBox1->horizontalScrollBar();
    const int notchStep = std::max(1, ScrollBox1->viewport()->width() / 10);
    m_wheelScrollRest += delta * notchStep;
    const int pixels = m_wheelScrollRest / 120;
    m_wheelScrollRest -= pixels * 120;
    // Turning up or left goes back in time.
    bar->setValue(bar->value() - pixels);
    return true;
}

void TMainForm::KeyHomePress() { ScrollBox1->horizontalScrollBar()->setValue(0); }

void TMainForm::KeyEndPress() {
    QScrollBar* bar = ScrollBox1->horizontalScrollBar();
    bar->setValue(bar->maximum());
}

void TMainForm::afterTransport(bool repaint) {
    SetUIMode(m_doc.uiMode);
    if (repaint) repaintWave();
}

bool TMainForm::viewEventFilter(QObject* watched, QEvent* e) {
    if (watched == ScrollBox1->viewport() && e->type() == QEvent::Wheel)
        return waveWheel(static_cast<QWheelEvent*>(e));
    if (watched == PaintBox1) {
        switch (e->type()) {
        case QEvent::Paint:
            if (m_commandRunning) {
                if (!m_viewDuringCommand.isNull()) {
                    QPainter painter(PaintBox1);
                    painter.drawPixmap(m_viewDuringCommandAt, m_viewDuringCommand);
                }
                return true;
            }
            // Nothing is drawn while no document is loaded.
            if (waveViewShowsDocument(m_doc)) paintWaveExposed(static_cast<QPaintEvent*>(e)->rect());
            return true;
        case QEvent::MouseButtonPress: {
            auto* m = static_cast<QMouseEvent*>(e);
            PaintBox1MouseDown(m->button(), m->position().toPoint().x(), m->position().toPoint().y());
            return true;
        }
        case QEvent::MouseMove: {
            auto* m = static_cast<QMouseEvent*>(e);
            if (m->buttons() & Qt::LeftButton) waveDrag(m->position().toPoint().x());
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* m = static_cast<QMouseEvent*>(e);
            PaintBox1MouseUp(m->button(), m->position().toPoint().x(), m->position().toPoint().y());
            return true;
        }
        case QEvent::Wheel: return waveWheel(static_cast<QWheelEvent*>(e));
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

void TMainForm::MSelectAllClick() {
    m_session.selectAll();
    afterTransport(true);
}

void TMainForm::CButtonSetStartClick() {
    if (m_session.setStartMarker()) afterTransport(true);
}

void TMainForm::CButtonSetFinishClick() {
    if (m_session.setFinishMarker()) afterTransport(true);
}

// --- zoom ---------------------------------------------------------------------------------

void TMainForm::syncZoomChecks(std::int32_t framesPerColumn) {
    QAction* const items[] = {MZoom10, MZoom8, MZoom6, MZoom4, MZoom2, MZoom1};
    for (std::size_t i = 0; i < kZoomLevels.size(); ++i) items[i]->setChecked(kZoomLevels[i] == framesPerColumn);
}

void TMainForm::zoomTo(std::int32_t framesPerColumn) {
    if (framesPerColumn == m_doc.view.framesPerColumn) {
        syncZoomChecks(framesPerColumn);
        return;
    }
    // The time at the anchor (the middle of its column) before the zoom, so that the view can
    // be put back around it: the scroll position alone would land on an unrelated time. A
    // document that ends inside the view is anchored on what is shown of it, not on the
    // empty space after it.
    QScrollBar* bar = ScrollBox1->horizontalScrollBar();
    const int shown = std::clamp(PaintBox1->width() - bar->value(), 1, std::max(1, ScrollBox1->viewport()->width()));
    const int anchor = std::clamp(m_zoomAnchorX.value_or(shown / 2), 0, shown - 1);
    const std::int32_t oldFrames = m_doc.view.framesPerColumn;
    const double anchorFrame = (double(bar->value()) + anchor + 0.5) * oldFrames;

    if (m_session.playerActive()) CButtonStopClick();
    syncZoomChecks(framesPerColumn);
    // TReloadThread. The dialog ends on a failure too: the user could not close it otherwise.
    Outcome outcome;
    runCommand(*ReloadForm, [&](WorkerProgress& progress) {
        outcome = m_session.zoomTo(framesPerColumn, progress);
        showOutcome(outcome);
    });
    syncZoomChecks(m_doc.view.framesPerColumn);  // a refused zoom keeps the level it had
    setWaveWidth(waveWidthFor(m_doc));
    if (m_doc.view.framesPerColumn != oldFrames) {
        const auto column = std::int64_t(anchorFrame / m_doc.view.framesPerColumn);
        bar->setValue(int(std::clamp<std::int64_t>(column - anchor, 0, bar->maximum())));
    }
    SetUIMode(m_doc.uiMode);
    repaintWave();
    PaintBox1->update();
}

void TMainForm::MZoom10Click() { zoomTo(kZoomLevels[0]); }
void TMainForm::MZoom8Click() { zoomTo(kZoomLevels[1]); }
void TMainForm::MZoom6Click() { zoomTo(kZoomLevels[2]); }
void TMainForm::MZoom4Click() { zoomTo(kZoomLevels[3]); }
void TMainForm::MZoom2Click() { zoomTo(kZoomLevels[4]); }
void TMainForm::MZoom1Click() { zoomTo(kZoomLevels[5]); }
void TMainForm::ButtonZoomInClick() { zoomTo(zoomedIn(m_doc.view.framesPerColumn)); }
void TMainForm::ButtonZoomOutClick() { zoomTo(zoomedOut(m_doc.view.framesPerColumn)); }

// --- transport ----------------------------------------------------------------------------

void TMainForm::CButtonPlayClick() {
    m_session.play();
    afterTransport(false);
}

void TMainForm::CButtonPlayFromHereClick() {
    m_session.playFromHere();
    afterTransport(false);
}

void TMainForm::CButtonPauseClick() {
    m_session.pause();
    afterTransport(false);
}

void TMainForm::CButtonStopClick() {
    m_session.stop();
    afterTransport(true);
}

// --- the 100 ms tick ----------------------------------------------------------------------

// Moves the play cursor while playing, stops at the end of the stream, and feeds the meters
// on every tick in every mode. While a command runs it leaves the document alone.
void TMainForm::Timer1Timer() {
    if (m_commandRunning) return;
    const Session::Tick tick = m_session.tick();
    if (tick.ended) afterTransport(true);
    else if (tick.repaint) repaintWave();
    if (m_spectrum) m_spectrum->draw(m_session.fft().data(), m_doc.uiMode);
    if (m_volume) {
        const MeterLevels levels = meterLevels(m_session.level());
        m_volume->draw(levels.left, levels.right, m_doc.uiMode);
    }
    PaintBox2->update();
    PaintBox3->update();
}

}  // namespace torvane
