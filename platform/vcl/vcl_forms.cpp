#include "vcl_forms.h"

#include "vcl_sysutils.h"
#include "vcl_widgets.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <string>
#include <system_error>

using namespace vcl_widgets;

// ---- TForm ----------------------------------------------------------------------------

TForm::TForm(TComponent* AOwner, const TFormDescription& description,
             const TMethodResolver& methods)
    : TWinControl(AOwner), Window(new FormWindow(this)), Client(new QWidget(Window)) {
    SetWidget(Window);
    Window->setAttribute(Qt::WA_WState_ExplicitShowHide); // hidden until shown
    Client->setGeometry(0, 0, 0, 0);
    BuildFromDescription(description, methods);
}

TForm::~TForm() {
    DestroyComponents();
    if (WindowHandle)
        DestroyMessageWindow(WindowHandle);
    if (Application && Application->ApplicationMainForm == this)
        Application->ApplicationMainForm = nullptr;
}

HWND TForm::GetHandle() const {
    if (!WindowHandle)
        WindowHandle = CreateMessageWindow(const_cast<TForm*>(this));
    return WindowHandle;
}

AnsiString TForm::GetCaption() const {
    return AnsiString(Window->windowTitle().toStdString());
}

void TForm::SetCaption(const AnsiString& value) {
    Window->setWindowTitle(QString::fromStdString(value.Utf8()));
}

int TForm::GetClientWidth() const {
    return Client->width();
}
int TForm::GetClientHeight() const {
    return Client->height();
}

void TForm::SetClientWidth(int value) {
    Client->resize(value, Client->height());
    FitWindowToClient();
}

void TForm::SetClientHeight(int value) {
    Client->resize(Client->width(), value);
    FitWindowToClient();
}

// The window is exactly as large as the client area and its border: it cannot be resized.
void TForm::FitWindowToClient() {
    const int border = Window->BorderWidth();
    Client->move(border, border);
    Window->setFixedSize(Client->width() + 2 * border, Client->height() + 2 * border);
}

void TForm::SetSkinnedFrame(TColor color, int width) {
    // Frameless, so without the system's minimise and maximise boxes too; the frame's title
    // bar offers only closing.
    Window->setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint);
    Window->SetBorder(ToQColor(color), width > 0 ? width : 0);
    FitWindowToClient();
}

QWidget* TForm::ClientWidget() const {
    return Client;
}

TNotifyEvent* TForm::FindEvent(std::string_view name) {
    return name == "OnCreate" ? &OnCreate : nullptr;
}

void TForm::DoCreate() {
    CallEvent(OnCreate, this);
}

void TForm::Show() {
    if (!Placed) {
        PlaceWindow();
        Placed = true;
    }
    Window->show();
    Window->raise();
    Window->activateWindow();
    // Like a dialog: the first control in the tab order has the focus.
    if (!Window->focusWidget()) {
        for (TWinControl* control : TabSequence()) {
            if (control->CanFocus()) {
                control->SetFocus();
                break;
            }
        }
    }
}

void TForm::Close() {
    Window->close();
}

void TForm::WindowClosed() {
    if (Application && Application->MainForm == this)
        Application->Terminate();
}

void TForm::PlaceWindow() {
    if (FormPosition == poDesigned)
        return;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area =
        FormPosition == poDesktopCenter ? screen->virtualGeometry() : screen->geometry();
    const QSize size = Window->frameGeometry().size();
    Window->move(area.x() + (area.width() - size.width()) / 2,
                 area.y() + (area.height() - size.height()) / 2);
}

LRESULT TForm::HandleWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    TMessage message{msg, wParam, lParam, 0};
    try {
        Dispatch(&message);
    } catch (...) {
        Application->HandleException(this);
    }
    return message.Result;
}

void TForm::ThrowFieldError(std::string_view name, bool wrongClass) const {
    const AnsiString field(name);
    throw Exception(wrongClass ? "Field " + field + " is of another class"
                               : "Field " + Name.get() + "." + field + " not found");
}

// ---- Tab order ------------------------------------------------------------------------

namespace {

void CollectTabSequence(const TWinControl* parent, const std::vector<TWinControl*>& all,
                        std::vector<TWinControl*>& out) {
    std::vector<TWinControl*> children;
    for (TWinControl* c : all) {
        if (c->Parent == parent && c->TabOrder >= 0)
            children.push_back(c);
    }
    std::stable_sort(children.begin(), children.end(),
                     [](TWinControl* a, TWinControl* b) { return a->TabOrder < b->TabOrder; });
    for (TWinControl* c : children) {
        if (c->TabStop)
            out.push_back(c);
        CollectTabSequence(c, all, out);
    }
}

} // namespace

std::vector<TWinControl*> TForm::TabSequence() const {
    std::vector<TWinControl*> all;
    for (int i = 0; i < ComponentCount; ++i) {
        if (auto* c = dynamic_cast<TWinControl*>(Components[i]))
            all.push_back(c);
    }
    std::vector<TWinControl*> sequence;
    CollectTabSequence(this, all, sequence);
    return sequence;
}

void TForm::UpdateTabOrder() {
    const std::vector<TWinControl*> sequence = TabSequence();
    for (std::size_t i = 1; i < sequence.size(); ++i) {
        QWidget* a = sequence[i - 1]->FocusWidget();
        QWidget* b = sequence[i]->FocusWidget();
        if (a && b)
            QWidget::setTabOrder(a, b);
    }
}

// ---- TApplication ---------------------------------------------------------------------

namespace {

// The toolkit is given the program's path and nothing else: the program takes no
// command line.
std::string ExecutablePath() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("cmt2300-config") : path.string();
}

int QtArgc = 1;
char QtArgv0[PATH_MAX];
char* QtArgv[] = {QtArgv0, nullptr};

QApplication* StartToolkit() {
    const std::string path = ExecutablePath();
    path.copy(QtArgv0, sizeof QtArgv0 - 1);
    QtArgc = 1;
    return new QApplication(QtArgc, QtArgv);
}

TApplication TheApplication;

} // namespace

TApplication* Application = &TheApplication;

TApplication::TApplication() : TComponent(nullptr) {}

// Forms left at the end of the process are not destroyed here: the toolkit is already
// being torn down by then. Run destroys them while it still can.
TApplication::~TApplication() { AbandonComponents(); }

void TApplication::Initialize() {
    if (!QCoreApplication::instance())
        OwnQtApplication = StartToolkit();
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(ApplicationIcon());
}

void TApplication::FormCreated(TForm* form) {
    if (!ApplicationMainForm) {
        // A new main form starts a new run: an earlier one's end no longer counts.
        ApplicationMainForm = form;
        ApplicationTerminated = false;
    }
    form->DoCreate();
}

void TApplication::Run() {
    if (ApplicationMainForm && !ApplicationTerminated) {
        ApplicationMainForm->Show();
        QApplication::exec();
    }
    DestroyComponents();
    ApplicationMainForm = nullptr;
    ApplicationTerminated = false;
}

void TApplication::Terminate() {
    ApplicationTerminated = true;
    QCoreApplication::quit();
}

AnsiString TApplication::GetTitle() const {
    if (!ApplicationTitle.IsEmpty())
        return ApplicationTitle;
    if (QCoreApplication::instance())
        return AnsiString(QCoreApplication::applicationName().toStdString());
    return AnsiString(QFileInfo(QString::fromStdString(ExecutablePath())).fileName().toStdString());
}

void TApplication::ShowException(const std::exception* e) {
    if (!QCoreApplication::instance())
        Initialize();
    const QString text = QString::fromUtf8(e ? e->what() : "");
    QMessageBox box(QMessageBox::Critical, QString::fromStdString(Title.get().Utf8()), text,
                    QMessageBox::Ok);
    box.exec();
}

void TApplication::HandleException(TObject*) {
    try {
        try {
            throw;
        } catch (const std::exception& e) {
            ShowException(&e);
        } catch (...) {
            const Exception empty("");
            ShowException(&empty);
        }
    } catch (...) {
        // Nothing can be shown; the loop goes on.
    }
}
