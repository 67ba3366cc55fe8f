#include "cli/TerminalProgress.h"

#include <string>

#include "i18n/CaptionKeys.h"

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

TerminalProgress::TerminalProgress(bool enabled) : m_enabled(enabled) {}

TerminalProgress::~TerminalProgress() {
    if (m_enabled && m_drawn) {
        draw(true);
        std::fputc('\n', stderr);
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
    char a[21], b[21];
    drawBar(m_percent[0], a, 20);
    drawBar(m_percent[1], b, 20);
    // The open dialog's labels, in English as everything the tool says.
    static const std::string decoding = captionText(nullptr, "OpenForm", "Decoding"),
                             loading = captionText(nullptr, "OpenForm", "Loading");
    std::fprintf(stderr, "\r%s [%s] %3d%%  %s [%s] %3d%%", decoding.c_str(), a, m_percent[0], loading.c_str(), b,
                 m_percent[1]);
    std::fflush(stderr);
}

}  // namespace torvane
