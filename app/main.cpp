#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "app/FormMain.h"
#include "i18n/Messages.h"
#include "platform/TerminationCleanup.h"

int main(int argc, char** argv) {
    torvane::installTerminationCleanup();
    QApplication app(argc, argv);
    try {
        torvane::StartupOptions options;
        const QStringList args = QCoreApplication::arguments();
        for (int i = 1; i < args.size(); ++i) options.arguments.push_back(args[i].toStdString());
        torvane::TMainForm form(std::move(options));
        form.show();
        return app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QString::fromStdString(torvane::messageText(torvane::MessageId::AppTitle)), QString::fromUtf8(e.what()));
        return 1;
    }
}
