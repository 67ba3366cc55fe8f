#include <QApplication>

#include "app/FormMain.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    torvane::TMainForm form;
    form.show();
    return app.exec();
}
