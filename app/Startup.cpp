#include "app/Startup.h"

namespace torvane {

std::string joinCommandLine(const std::vector<std::string>& args) {
    std::string joined;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i) joined += ' ';
        joined += args[i];
    }
    return joined;
}

int waveformTop(int scrollBoxHeight) { return scrollBoxHeight > 251 ? (scrollBoxHeight - 251) / 2 : 0; }

}  // namespace torvane
