// The reference for the window benchmarks: a bare Qt window of the tool's size with a 100 ms
// timer and nothing else. Reports as window_probe.h describes.
// With --with-text it also shows one line of text in Latin and Chinese characters: how much
// of the tool's start-up and memory any window that shows such text pays (a detail).
#include "window_probe.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    const bench::ProbeOptions options = bench::ParseProbeOptions(argc, argv);
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("bare window");
    window.resize(538, 243);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--with-text") == 0) {
            auto* label = new QLabel(QString::fromUtf8("COM1 9600 NO 1ch \u6b63\u5e38\u6a21\u5f0f \u6253\u5f00"), &window);
            label->move(10, 10);
        }
    }
    QTimer timer;
    timer.setInterval(100);
    QObject::connect(&timer, &QTimer::timeout, [] {});
    timer.start();

    bench::FirstPaint probe(&window, [&] {
        if (options.exitWhenShown)
            QCoreApplication::quit();
        else if (options.idleMs > 0)
            bench::IdleThen(options.idleMs, [] { QCoreApplication::quit(); });
    });
    window.show();
    return QApplication::exec();
}
