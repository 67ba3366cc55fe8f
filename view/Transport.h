#pragma once
// Playing, pausing and stopping the document, the two markers, Select All, the mouse on the
// waveform, the six zoom levels and the 100 ms tick: the logic behind the transport
// buttons, the Control, Edit and Zoom menus and the timer. It works on the document state
// and the audio engine; what only the window can do comes in as callbacks.

#include <array>
#include <cstdint>
#include <functional>

#include "app/DocumentState.h"
#include "view/WaveformRenderer.h"

namespace torvane {

class TSpectrum;
class TVolume;

struct TransportHooks {
    // The window's SetUIMode. The transport has already stored the mode in the document.
    std::function<void(std::uint32_t mode)> setUIMode;
    // Draws the waveform now, synchronously (the paint handler's drawing), from this scene:
    // the stop rule that follows uses the same play column that the cursor is drawn on.
    // The window adds its colours and label font.
    std::function<void(const WaveformScene& scene)> repaint;
    // Rebuilds the peak table at the document's frames per column, with the reload dialog.
    std::function<void()> reloadPeaks;
    // The view (bitmap and paint box) becomes this many pixels wide.
    std::function<void(std::uint32_t width)> setViewWidth;
    // Opens the waveform's context menu at the click (paint box coordinates).
    std::function<void(int x, int y)> openPopup;
    // Both meter pictures have been redrawn and can be copied onto their paint boxes.
    std::function<void()> metersDrawn;
};

enum class MouseButton { Left, Right, Middle };

// Frames per column of the six zoom levels, 10 : 1 first.
constexpr std::array<std::int32_t, 6> kZoomLevels{10000, 8000, 6000, 4000, 2000, 1000};

class Transport {
public:
    Transport(DocumentState& doc, TransportHooks hooks);

    // The meters the tick feeds; either may be null.
    void attachMeters(TSpectrum* spectrum, TVolume* volume);

    void play();
    void playFromHere();
    void pause();
    void stop();
    void setStartMarker();
    void setFinishMarker();
    void selectAll();
    void mouseDown(MouseButton button, int x, int y);
    void mouseUp(MouseButton button, int x, int y);
    void zoomTo(std::int32_t framesPerColumn);
    void zoomIn();
    void zoomOut();
    void timerTick();

    // The paint handler: draws through the repaint hook, then applies the stop rule.
    // Nothing happens while no document is loaded.
    void paint();
    // Pauses when the play column stands on a marker (not the first or last column).
    // Returns true when it paused. For paints the window starts itself (exposure, scrolling).
    bool applyStopRule();
    bool applyStopRule(std::uint32_t playColumn);

    std::uint32_t playColumn() const;
    const std::array<float, 512>& fftBuffer() const { return m_fft; }

private:
    void setUIMode(std::uint32_t mode);
    void setPosition(std::uint32_t position);
    void placeAt(int x);

    DocumentState& m_doc;
    TransportHooks m_hooks;
    TSpectrum* m_spectrum = nullptr;
    TVolume* m_volume = nullptr;
    std::array<float, 512> m_fft{};
};

}  // namespace torvane
