#pragma once

#include <QApplication>

// The one QApplication a GUI test program needs; made on first use and kept for the run.
inline void ensureQtTestApplication() {
    static int argc = 1;
    static char name[] = "orvane-gui-test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
}
