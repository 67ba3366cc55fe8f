#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <exception>

#include "app/FormMain.h"
#include "app/Startup.h"
#include "i18n/Messages.h"
#include "platform/TerminationCleanup.h"

int main(int argc, char** argv) {
    // --help and --version are answered in the terminal before any window or display is touched.
    std::vector<std::string> early(argv + 1, argv + argc);
    switch (torvane::startupRequest(early)) {
    case torvane::StartupRequest::Help:
        std::fputs(torvane::startupUsage().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case torvane::StartupRequest::Version:
        std::printf("torvane %s\n", TORVANE_VERSION);
        return std::fflush(stdout) == 0 ? 0 : 1;
    case torvane::StartupRequest::Window: break;
    }
    torvane::installTerminationCleanup();
    QApplication app(argc, argv);
    try {
        torvane::StartupOptions options;
        const QStringList args = QCoreApplication::arguments();
        for (int i = 1; i < args.size(); ++i) options.arguments.push_back(args[i].toStdString());
        torvane::startupRequest(options.arguments);  // drops a "--"
        torvane::TMainForm form(std::move(options));
        form.show();
        return app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QString::fromStdString(torvane::messageText(torvane::MessageId::AppTitle)), QString::fromUtf8(e.what()));
        return 1;
    }
}
