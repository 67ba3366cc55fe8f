#include "app/StatusBarText.h"

#include "platform/IniFile.h"
#include "view/TimeText.h"

namespace torvane {

std::array<std::string, 3> statusBarTexts(const DocumentState& doc, const IniFile* languageFile) {
    auto word = [&](const char* key) {
        return languageFile ? languageFile->readString("StatusBar", key, "") : std::string();
    };
    std::string format = std::to_string(doc.sampleRate) + " Hz   " +
                         word(doc.channels == 1 ? "Mono" : "Stereo") + "   " +
                         std::to_string(doc.bitsPerSample) + word("Bits");
    return {format, timeText(doc.duration), doc.documentPath};
}

}  // namespace torvane
