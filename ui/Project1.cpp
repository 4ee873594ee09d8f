// The application entry: creates the main window and runs it until it is closed.
#include "Unit1.h"
#include "vcl.h"

int main() {
    try {
        Application->Initialize();
        Application->CreateForm(classid<TForm1>, &Form1);
        Application->Run();
    } catch (const std::exception& exception) {
        Application->ShowException(&exception);
    } catch (...) {
        // Anything else thrown is shown as an exception without a message.
        const Exception exception("");
        Application->ShowException(&exception);
    }
    return 0;
}
