#pragma once
// Text drawing needs a QGuiApplication (fonts); the tests run on the offscreen platform.

#include <cstdlib>

#include <QGuiApplication>

namespace torvane::test {

inline void ensureGuiApp() {
    if (QGuiApplication::instance()) return;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "test_view";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);  // lives until the test program exits
}

}  // namespace torvane::test
