// Forms and the application object.
//
// A form is a top-level window built from a form description (form_description.h): its
// constructor creates every component of the description, binds their events to the
// published methods of the window class by name, and gives the window its system handle
// (Handle) through which registered window messages reach the virtual Dispatch.
//
// The application object creates forms (CreateForm), runs the message loop until the main
// form closes (Run) and shows exceptions that escape event handlers (ShowException).
#pragma once

#include "form_description.h"
#include "vcl_controls.h"
#include "win32_user.h"

#include <span>
#include <string_view>

class QWidget;
class QApplication;

// The message record handed to Dispatch.
struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

// Resolves the handler names of a form description to bound methods.
class TMethodResolver {
public:
    // The method published under `name`, bound to the form; empty when there is none.
    virtual TNotifyEvent MethodAddress(std::string_view name) const = 0;

protected:
    ~TMethodResolver() = default;
};

// One entry of a window class's table of published methods.
template <class TFormClass> struct TPublishedMethod {
    std::string_view Name;
    void (TFormClass::*Method)(TObject* Sender);
};

// A window class's published methods, bound to one instance. The instance may still be
// under construction: the methods are only called once construction has finished.
template <class TFormClass> class TPublishedMethods final : public TMethodResolver {
public:
    TPublishedMethods(TFormClass* instance, std::span<const TPublishedMethod<TFormClass>> table)
        : Instance(instance), Table(table) {}

    TNotifyEvent MethodAddress(std::string_view name) const override {
        for (const auto& entry : Table) {
            if (entry.Name == name) {
                return [instance = Instance, method = entry.Method](TObject* sender) {
                    (instance->*method)(sender);
                };
            }
        }
        return {};
    }

private:
    TFormClass* Instance;
    std::span<const TPublishedMethod<TFormClass>> Table;
};

namespace vcl_widgets {
class FormWindow;
}

class TForm : public TWinControl, public WindowMessageTarget {
    HWND GetHandle() const;
    AnsiString GetCaption() const;
    void SetCaption(const AnsiString& value);
    int GetClientWidth() const;
    void SetClientWidth(int value);
    int GetClientHeight() const;
    void SetClientHeight(int value);

public:
    // Creates the window and every component of `description`, in order, with `AOwner` as
    // the form's owner. Throws Exception when the description names an unknown parent,
    // event or method; what was created is destroyed again.
    TForm(TComponent* AOwner, const TFormDescription& description, const TMethodResolver& methods);
    // Destroys every component the form owns, then the window and its handle.
    ~TForm() override;

    // The window's system handle, created on first use; messages sent to it reach Dispatch
    // as a TMessage.
    ReadOnlyProperty<&TForm::GetHandle> Handle{this};
    Property<&TForm::GetCaption, &TForm::SetCaption> Caption{this};
    Property<&TForm::GetClientWidth, &TForm::SetClientWidth> ClientWidth{this};
    Property<&TForm::GetClientHeight, &TForm::SetClientHeight> ClientHeight{this};
    // Raised once by the application object after the whole constructor has run.
    TNotifyEvent OnCreate;

    // Places the window as its Position says (the first time) and shows it.
    void Show();
    // Closes the window; closing the main form ends the application's message loop.
    void Close();
    // Raises OnCreate; an exception from the handler is shown and the form lives on.
    void DoCreate();
    // Called by the window once it has closed (by Close or by the window system).
    void WindowClosed();
    // A skinned frame takes the window over: no system frame and caption, and a border of
    // `width` pixels in `color` around the client area.
    void SetSkinnedFrame(TColor color, int width);

    TNotifyEvent* FindEvent(std::string_view name) override;
    QWidget* ClientWidget() const override;
    LRESULT HandleWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // The component named `name`, for binding a window class's field to it. Throws
    // Exception when there is none or it is of another class.
    template <class T> T* FindField(std::string_view name) const {
        TComponent* component = FindComponent(name);
        T* field = dynamic_cast<T*>(component);
        if (!field)
            ThrowFieldError(name, component != nullptr);
        return field;
    }

    // Rebuilds the keyboard focus chain from the controls' tab orders: each parent's
    // controls by TabOrder, a container's children in its place, depth first.
    void UpdateTabOrder();
    // The controls that Tab visits, in order (enabled or not).
    std::vector<TWinControl*> TabSequence() const;

private:
    [[noreturn]] void ThrowFieldError(std::string_view name, bool wrongClass) const;
    void BuildFromDescription(const TFormDescription& description, const TMethodResolver& methods);
    void PlaceWindow();
    void FitWindowToClient();

    vcl_widgets::FormWindow* Window;
    QWidget* Client;
    mutable HWND WindowHandle = nullptr;
    TPosition FormPosition = poDesigned;
    bool Placed = false;
};

template <class T> struct TFormClass {};
// The class of a form, for CreateForm: `Application->CreateForm(classid<TForm1>, &Form1)`.
template <class T> inline constexpr TFormClass<T> classid{};

class TApplication : public TComponent {
    TForm* GetMainForm() const { return ApplicationMainForm; }
    AnsiString GetTitle() const;
    void SetTitle(const AnsiString& value) { ApplicationTitle = value; }
    bool GetTerminated() const { return ApplicationTerminated; }

public:
    TApplication();
    ~TApplication() override;

    // Prepares the toolkit (the Qt application object, unless one exists already).
    void Initialize();

    // Creates a form of class T owned by the application. `*reference` points at the new
    // form from before its constructor runs; when the constructor throws, it is reset to
    // null and the exception passes on. The first form created becomes the main form.
    // OnCreate is raised after the whole constructor has finished.
    template <class T> void CreateForm(TFormClass<T>, T** reference) {
        Initialize();
        void* memory = ::operator new(sizeof(T));
        *reference = static_cast<T*>(memory);
        T* form;
        try {
            form = ::new (memory) T(this);
        } catch (...) {
            *reference = nullptr;
            ::operator delete(memory);
            throw;
        }
        FormCreated(form);
    }

    // Shows the main form and runs the message loop until the main form is closed (at once
    // when Terminate came first); then destroys the forms, ready for a new main form. An exception
    // raised while a message is handled is shown with ShowException and the loop goes on.
    void Run();
    // Ends the message loop.
    void Terminate();
    // The standard error box: the exception's message, the application's title as
    // caption, the error icon and an OK button. Modal.
    void ShowException(const std::exception* e);
    // Shows the exception being handled; call from inside a catch handler.
    void HandleException(TObject* Sender);

    ReadOnlyProperty<&TApplication::GetMainForm> MainForm{this};
    // Defaults to the executable's name.
    Property<&TApplication::GetTitle, &TApplication::SetTitle> Title{this};
    ReadOnlyProperty<&TApplication::GetTerminated> Terminated{this};

private:
    void FormCreated(TForm* form);
    void FormDestroyed(TForm* form);
    friend class TForm;

    TForm* ApplicationMainForm = nullptr;
    AnsiString ApplicationTitle;
    bool ApplicationTerminated = false;
    QApplication* OwnQtApplication = nullptr;
};

extern TApplication* Application;
