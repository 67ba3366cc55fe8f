#include "app/Startup.h"

#include "i18n/Messages.h"

namespace torvane {

std::string joinCommandLine(const std::vector<std::string>& args) {
    std::string joined;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i) joined += ' ';
        joined += args[i];
    }
    return joined;
}

StartupRequest startupRequest(std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            args.erase(args.begin() + std::ptrdiff_t(i));
            break;
        }
        if (a == "-h" || a == "--help") return StartupRequest::Help;
        if (a == "-V" || a == "--version") return StartupRequest::Version;
    }
    return StartupRequest::Window;
}

std::string startupUsage() { return messageText(MessageId::AppUsage); }

StartupFile startupFile(const std::vector<std::string>& args, const std::function<bool(const std::string&)>& isFile) {
    if (args.empty()) return {};
    const std::string joined = joinCommandLine(args);
    if (args.size() == 1 || isFile(joined)) return {joined, false};
    if (isFile(args[0])) return {args[0], true};
    return {joined, false};
}

int waveformTop(int scrollBoxHeight) { return scrollBoxHeight > 251 ? (scrollBoxHeight - 251) / 2 : 0; }

}  // namespace torvane
