#include "view/Transport.h"

#include "view/Spectrum.h"
#include "view/Volume.h"
#include "view/WaveView.h"

namespace torvane {

Transport::Transport(DocumentState& doc, TransportHooks hooks) : m_doc(doc), m_hooks(std::move(hooks)) {}

void Transport::attachMeters(TSpectrum* spectrum, TVolume* volume) {
    m_spectrum = spectrum;
    m_volume = volume;
}

void Transport::setUIMode(std::uint32_t mode) {
    m_doc.uiMode = mode;
    if (m_hooks.setUIMode) m_hooks.setUIMode(mode);
}

void Transport::setPosition(std::uint32_t position) {
    BASS_ChannelSetPosition(m_doc.stream, position, BASS_POS_BYTE);
}

std::uint32_t Transport::playColumn() const { return currentPlayColumn(m_doc); }

void Transport::play() {
    BASS_ChannelPlay(m_doc.stream, 1);
    setUIMode(ModePlaying);
}

void Transport::playFromHere() {
    if (m_doc.uiMode == ModeStopped) {
        auto p = std::uint32_t(BASS_ChannelGetPosition(m_doc.stream, BASS_POS_BYTE));
        // From the very start it begins just past the start marker, inside the selection.
        if (p == 0) p = columnPosition(m_doc.startMarker + 1, m_doc.streamLength, m_doc.columnCount);
        setPosition(p);
    } else {
        // Paused on a marker: move past it, or the stop rule would pause again at once.
        const std::uint32_t c = playColumn();
        if (c == m_doc.startMarker || c == m_doc.finishMarker)
            setPosition(columnPosition(c + 3, m_doc.streamLength, m_doc.columnCount));
    }
    BASS_ChannelPlay(m_doc.stream, 0);
    setUIMode(ModePlaying);
}

void Transport::pause() {
    BASS_ChannelPause(m_doc.stream);
    setUIMode(ModePaused);
}

void Transport::stop() {
    BASS_ChannelStop(m_doc.stream);
    setPosition(0);
    setUIMode(ModeStopped);
    paint();
}

void Transport::setStartMarker() {
    const std::uint32_t c = playColumn();
    if (c >= m_doc.finishMarker) return;
    m_doc.startMarker = c;
    setUIMode(m_doc.uiMode);
    paint();
}

void Transport::setFinishMarker() {
    const std::uint32_t c = playColumn();
    if (c <= m_doc.startMarker) return;
    m_doc.finishMarker = c;
    setUIMode(m_doc.uiMode);
    paint();
}

void Transport::selectAll() {
    m_doc.startMarker = 0;
    // An empty view keeps its single column 0 rather than wrapping below zero.
    m_doc.finishMarker = m_doc.columnCount ? m_doc.columnCount - 1 : 0;
    setUIMode(m_doc.uiMode);
    paint();
}

void Transport::placeAt(int x) {
    setPosition(columnPosition(std::uint32_t(x), m_doc.streamLength, m_doc.columnCount));
    setUIMode(m_doc.uiMode);
    paint();
}

// The ruler band (y 201 and below) does not react.
void Transport::mouseDown(MouseButton button, int x, int y) {
    if (m_doc.stream == 0 || y > 200 || button != MouseButton::Left) return;
    placeAt(x);
}

void Transport::mouseUp(MouseButton button, int x, int y) {
    if (m_doc.stream == 0 || y > 200 || button != MouseButton::Right) return;
    placeAt(x);
    if (m_hooks.openPopup) m_hooks.openPopup(x, y);
}

void Transport::zoomTo(std::int32_t framesPerColumn) {
    if (framesPerColumn == m_doc.framesPerColumn) return;
    if (BASS_ChannelIsActive(m_doc.stream) != BASS_ACTIVE_STOPPED) stop();
    // The reload reads the working file; the stream lets go of it meanwhile.
    BASS_StreamFree(m_doc.stream);
    m_doc.framesPerColumn = framesPerColumn;
    if (m_hooks.reloadPeaks) m_hooks.reloadPeaks();
    // The stream length stays what it was: same file, same data.
    m_doc.stream = BASS_StreamCreateFile(0, m_doc.workingFilePath.c_str(), 0, 0, 0);
    if (m_hooks.setViewWidth) m_hooks.setViewWidth(m_doc.columnCount);
    m_doc.startMarker = 0;
    m_doc.finishMarker = m_doc.columnCount ? m_doc.columnCount - 1 : 0;
    setUIMode(ModeStopped);
    paint();
}

void Transport::zoomIn() {
    for (std::size_t i = 0; i + 1 < kZoomLevels.size(); ++i) {
        if (m_doc.framesPerColumn == kZoomLevels[i]) {
            zoomTo(kZoomLevels[i + 1]);
            return;
        }
    }
}

void Transport::zoomOut() {
    for (std::size_t i = kZoomLevels.size() - 1; i > 0; --i) {
        if (m_doc.framesPerColumn == kZoomLevels[i]) {
            zoomTo(kZoomLevels[i - 1]);
            return;
        }
    }
}

void Transport::timerTick() {
    if (BASS_ChannelIsActive(m_doc.stream) != BASS_ACTIVE_STOPPED) {
        if (m_doc.uiMode == ModePlaying) paint();
    } else if (m_doc.uiMode == ModePlaying) {
        stop();  // played to the end
    }

    // The engine's results are not examined: on failure the buffer keeps the last spectrum.
    BASS_ChannelGetData(m_doc.stream, m_fft.data(), BASS_DATA_FFT1024);
    if (m_spectrum) m_spectrum->draw(m_fft.data(), m_doc.uiMode);
    const MeterLevels levels = meterLevels(BASS_ChannelGetLevel(m_doc.stream));
    if (m_volume) m_volume->draw(levels.left, levels.right, m_doc.uiMode);
    if (m_hooks.metersDrawn) m_hooks.metersDrawn();
}

void Transport::paint() {
    if (!waveViewShowsDocument(m_doc)) return;
    const WaveformScene scene = waveSceneFor(m_doc);
    if (m_hooks.repaint) m_hooks.repaint(scene);
    applyStopRule(scene.playColumn);
}

bool Transport::applyStopRule() { return applyStopRule(playColumn()); }

bool Transport::applyStopRule(std::uint32_t c) {
    if (!waveViewShowsDocument(m_doc)) return false;
    if (c == 0 || c == m_doc.columnCount - 1) return false;
    if (c != m_doc.startMarker && c != m_doc.finishMarker) return false;
    BASS_ChannelPause(m_doc.stream);
    setUIMode(ModePaused);
    return true;
}

}  // namespace torvane
