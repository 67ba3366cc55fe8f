#include "cli/TerminalProgress.h"

#include <string>

#include "i18n/CaptionKeys.h"
#include "i18n/Messages.h"

#ifdef _WIN32
#include <io.h>
#define TORVANE_ISATTY _isatty
#define TORVANE_STDERR_FD 2
#else
#include <unistd.h>
#define TORVANE_ISATTY isatty
#define TORVANE_STDERR_FD STDERR_FILENO
#endif

namespace torvane {

namespace {

void drawBar(int percent, char* out, int width) {
    const int full = percent * width / 100;
    for (int i = 0; i < width; ++i) out[i] = i < full ? '#' : '.';
    out[width] = '\0';
}
}  // namespace

TerminalProgress::TerminalProgress(bool enabled, Phase phase) : m_enabled(enabled), m_phase(phase) {}

void TerminalProgress::finish() {
    if (m_enabled && m_drawn) {
        draw(true);
        std::fputc('\n', stderr);
        m_drawn = false;
        m_percent[0] = m_percent[1] = 0;
    }
}

bool TerminalProgress::stderrIsTerminal() { return TORVANE_ISATTY(TORVANE_STDERR_FD) != 0; }

void TerminalProgress::setPercent(int bar, int percent) {
    if (!m_enabled || bar < 0 || bar > 1) return;
    m_percent[bar] = percent;
    draw(percent >= 100);
}

void TerminalProgress::draw(bool force) {
    const auto now = std::chrono::steady_clock::now();
    if (!force && m_drawn && now - m_lastDraw < std::chrono::milliseconds(100)) return;
    m_lastDraw = now;
    m_drawn = true;
    // The labels of the editor's own dialogs, in English as everything the tool says.
    static const std::string decoding = captionText(nullptr, "OpenForm", "Decoding"),
                             loading = captionText(nullptr, "OpenForm", "Loading"),
                             processing = captionText(nullptr, "ProcessForm", "Processing"),
                             reloading = captionText(nullptr, "ProcessForm", "Reloading"),
                             encoding = messageText(MessageId::CliEncoding), saving = messageText(MessageId::CliSaving);
    char a[21], b[21];
    switch (m_phase) {
    case Phase::Loading: {
        // The copy and the peak scan as one bar: the first half and the second.
        const int whole = (m_percent[0] + m_percent[1]) / 2;
        drawBar(whole, a, 20);
        std::fprintf(stderr, "\r%s [%s] %3d%%", loading.c_str(), a, whole);
        break;
    }
    case Phase::Encoding:
    case Phase::Saving:
        drawBar(m_percent[0], a, 20);
        std::fprintf(stderr, "\r%s [%s] %3d%%", (m_phase == Phase::Encoding ? encoding : saving).c_str(), a,
                     m_percent[0]);
        break;
    default:
        drawBar(m_percent[0], a, 20);
        drawBar(m_percent[1], b, 20);
        std::fprintf(stderr, "\r%s [%s] %3d%%  %s [%s] %3d%%",
                     (m_phase == Phase::Decoding ? decoding : processing).c_str(), a, m_percent[0],
                     (m_phase == Phase::Decoding ? loading : reloading).c_str(), b, m_percent[1]);
    }
    std::fflush(stderr);
}

}  // namespace torvane
