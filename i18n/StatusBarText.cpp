#include "i18n/StatusBarText.h"

#include "i18n/LanguageFile.h"
#include "doc/TimeText.h"

namespace torvane {

std::array<std::string, 3> statusBarTexts(const DocumentState& doc, const LanguageFile* languageFile) {
    auto word = [&](const char* key) {
        return languageFile ? languageFile->text("StatusBar", key) : std::string();
    };
    std::string format = std::to_string(doc.format.sampleRate) + " Hz   " +
                         word(doc.format.channels == 1 ? "Mono" : "Stereo") + "   " +
                         std::to_string(doc.format.bitsPerSample) + word("Bits");
    return {format, timeText(doc.format.duration), doc.documentPath};
}

}  // namespace torvane
