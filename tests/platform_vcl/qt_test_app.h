// The one Qt application object of a window test program, offscreen unless the
// environment asks for another platform.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>

inline QApplication* TestApplication() {
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "window_test";
        static char* argv[] = {name, nullptr};
        // Kept until the process ends: tearing the toolkit down between tests is not
        // supported, and at exit it would race the toolkit's own globals.
        return new QApplication(argc, argv);
    }();
    return app;
}

// What a modal message box showed.
struct SeenMessageBox {
    bool Shown = false;
    QString Title;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    int Buttons = 0;
};

// Watches for the next modal message box, records it and presses its OK button. Call
// before the action that opens the box; `seen` must outlive the box.
inline void AnswerNextMessageBox(SeenMessageBox* seen) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen->Shown = true;
        seen->Title = box->windowTitle();
        seen->Text = box->text();
        seen->Icon = box->icon();
        seen->Buttons = static_cast<int>(box->buttons().size());
        timer->stop();
        timer->deleteLater();
        box->button(QMessageBox::Ok)->click();
    });
    timer->start();
}
