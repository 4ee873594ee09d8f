// The tool as its users start it (the same window, start-up and message loop as the program
// entry), with the reports of window_probe.h. With --open-port, the port selected at start
// is opened by a click once the window is shown, before the idle span begins.
#include "Unit1.h"
#include "vcl.h"
#include "window_probe.h"

#include <QAbstractButton>
#include <QCoreApplication>

#include <cstring>

int main(int argc, char** argv) {
    const bench::ProbeOptions options = bench::ParseProbeOptions(argc, argv);
    bool openPort = false;
    for (int i = 1; i < argc; ++i)
        openPort = openPort || std::strcmp(argv[i], "--open-port") == 0;

    Application->Initialize();
    Application->CreateForm(classid<TForm1>, &Form1);
    bench::FirstPaint probe(Form1->ClientWidget()->window(), [&] {
        if (options.exitWhenShown) {
            Form1->Close();
            return;
        }
        if (openPort) {
            if (auto* button = qobject_cast<QAbstractButton*>(Form1->suiButton_OpenPort->Widget()))
                button->click();
            else
                Form1->suiButton_OpenPortClick(nullptr);
            if (!Form1->Serial->IsOpen()) {
                std::fprintf(stderr, "tool_window: the port did not open\n");
                std::exit(1);
            }
        }
        if (options.idleMs > 0)
            bench::IdleThen(options.idleMs, [] { Form1->Close(); });
    });
    Application->Run();
    return 0;
}
