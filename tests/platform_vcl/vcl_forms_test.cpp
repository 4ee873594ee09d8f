// Forms built from a description: creation, binding by name, OnCreate, the window handle
// and Dispatch, destruction, the application object and its error box.
#include "qt_test_app.h"
#include "vcl.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include <string>
#include <vector>

namespace {

const std::string_view kParity[] = {"NO", "ODD", "EVEN"};
const TEventBinding kFormEvents[] = {{"OnCreate", "FormCreate"}};
const TEventBinding kButtonEvents[] = {{"OnClick", "ButtonClick"}};
const TEventBinding kTimerEvents[] = {{"OnTimer", "TimerTick"}};

using enum TComponentKind;

const TComponentDescription kComponents[] = {
    {.Kind = SkinForm,
     .Name = "Frame",
     .Parent = "TestForm",
     .Width = 300,
     .Height = 200,
     .Caption = "Title",
     .TabOrder = 0},
    {.Kind = SkinGroupBox,
     .Name = "Group",
     .Parent = "Frame",
     .Left = 7,
     .Top = 23,
     .Width = 140,
     .Height = 150,
     .Caption = "用户",
     .TabOrder = 1},
    {.Kind = Label,
     .Name = "Caption1",
     .Parent = "Group",
     .Left = 10,
     .Top = 52,
     .Width = 52,
     .Height = 19,
     .Caption = "波特率："},
    {.Kind = SkinComboBox,
     .Name = "Box",
     .Parent = "Group",
     .Left = 64,
     .Top = 49,
     .Width = 69,
     .Height = 21,
     .Caption = "EVEN",
     .Items = kParity,
     .ItemIndex = 2,
     .Style = csDropDownList,
     .TabOrder = 1,
     .Color = clSkyBlue},
    {.Kind = SkinButton,
     .Name = "Button",
     .Parent = "Group",
     .Left = 57,
     .Top = 121,
     .Width = 77,
     .Height = 26,
     .Caption = "Go",
     .TabOrder = 0,
     .Events = kButtonEvents},
    {.Kind = SkinGroupBox,
     .Name = "Group2",
     .Parent = "Frame",
     .Left = 150,
     .Top = 23,
     .Width = 140,
     .Height = 150,
     .Caption = "Two",
     .TabOrder = 0},
    {.Kind = SkinComboBox,
     .Name = "Box2",
     .Parent = "Group2",
     .Left = 10,
     .Top = 10,
     .Width = 90,
     .Height = 21,
     .Items = kParity,
     .ItemIndex = 0,
     .Enabled = false,
     .TabOrder = 1},
    {.Kind = SkinButton,
     .Name = "Button2",
     .Parent = "Group2",
     .Left = 10,
     .Top = 40,
     .Width = 90,
     .Height = 27,
     .Caption = "Two",
     .TabOrder = 0},
    {.Kind = Timer, .Name = "Timer", .Parent = "TestForm", .Events = kTimerEvents, .Interval = 50},
};

const TFormDescription kDescription{.Name = "TestForm",
                                    .Caption = "Test",
                                    .ClientWidth = 300,
                                    .ClientHeight = 200,
                                    .BorderStyle = bsDialog,
                                    .Position = poDesktopCenter,
                                    .Events = kFormEvents,
                                    .Components = kComponents};

class TTestForm;
TTestForm* TestFormReference = nullptr; // what CreateForm was given

const UINT kTestMessage = RegisterWindowMessageA("vcl_forms_test message");
const UINT kThrowingMessage = RegisterWindowMessageA("vcl_forms_test throwing message");

class TTestForm : public TForm {
public:
    explicit TTestForm(TComponent* Owner)
        : TForm(Owner, kDescription, TPublishedMethods<TTestForm>(this, Methods)) {
        ReferenceWasSet = TestFormReference == this;
        Log.push_back("constructor");
    }

    TsuiForm* Frame = FindField<TsuiForm>("Frame");
    TsuiGroupBox* Group = FindField<TsuiGroupBox>("Group");
    TLabel* Caption1 = FindField<TLabel>("Caption1");
    TsuiComboBox* Box = FindField<TsuiComboBox>("Box");
    TsuiButton* Button = FindField<TsuiButton>("Button");
    TTimer* Timer = FindField<TTimer>("Timer");

    void FormCreate(TObject* Sender) {
        Log.push_back("FormCreate");
        CreateSender = Sender;
    }
    void ButtonClick(TObject* Sender) { ClickSenders.push_back(Sender); }
    void TimerTick(TObject*) { ++Ticks; }

    void Dispatch(void* Message) override {
        auto* message = static_cast<TMessage*>(Message);
        if (message->Msg == kTestMessage) {
            Seen.push_back(*message);
            message->Result = 42;
        } else if (message->Msg == kThrowingMessage) {
            throw Exception("thrown in Dispatch");
        } else {
            TForm::Dispatch(Message);
        }
    }

    std::vector<std::string> Log;
    bool ReferenceWasSet = false;
    TObject* CreateSender = nullptr;
    std::vector<TObject*> ClickSenders;
    int Ticks = 0;
    std::vector<TMessage> Seen;

    static const TPublishedMethod<TTestForm> Methods[3];
};

const TPublishedMethod<TTestForm> TTestForm::Methods[3] = {
    {"FormCreate", &TTestForm::FormCreate},
    {"ButtonClick", &TTestForm::ButtonClick},
    {"TimerTick", &TTestForm::TimerTick},
};

class Forms : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        Application->Initialize();
    }
};

TEST_F(Forms, EveryComponentIsCreatedFromTheDescriptionAndBoundToItsField) {
    TTestForm form(nullptr);
    ASSERT_EQ(form.ComponentCount, static_cast<int>(std::size(kComponents)));
    for (int i = 0; i < form.ComponentCount; ++i)
        EXPECT_EQ(form.Components[i]->Name.get(), kComponents[i].Name) << i;

    EXPECT_EQ(form.Name, "TestForm");
    EXPECT_EQ(form.ClientWidth, 300);
    EXPECT_EQ(form.ClientHeight, 200);
    EXPECT_EQ(form.Frame->Parent, &form);
    EXPECT_EQ(form.Group->Parent, form.Frame);
    EXPECT_EQ(form.Box->Parent, form.Group);
    EXPECT_EQ(form.Frame->Caption, "Title");
    EXPECT_EQ(form.Group->Caption, "用户");
    EXPECT_EQ(form.Caption1->Caption, "波特率：");
    EXPECT_EQ(form.Box->Widget()->geometry(), QRect(64, 49, 69, 21));
    EXPECT_EQ(form.Box->Widget()->parentWidget(), form.Group->Widget());
    EXPECT_EQ(form.Box->Items->Count, 3);
    EXPECT_EQ(form.Box->ItemIndex, 2);
    EXPECT_EQ(form.Box->Text, "EVEN");
    EXPECT_EQ(form.Box->Style, csDropDownList);
    EXPECT_EQ(form.Button->Caption, "Go");
    EXPECT_EQ(form.Timer->Interval, 50);
    auto* box2 = dynamic_cast<TsuiComboBox*>(form.FindComponent("Box2"));
    ASSERT_NE(box2, nullptr);
    EXPECT_FALSE(box2->Enabled);
    EXPECT_EQ(box2->Style, csDropDown);
    EXPECT_EQ(form.FindComponent("box2"), box2); // names compare without case
}

TEST_F(Forms, HandlersAreBoundByName) {
    TTestForm form(nullptr);
    QTest::mouseClick(form.Button->Widget(), Qt::LeftButton);
    ASSERT_EQ(form.ClickSenders.size(), 1u);
    EXPECT_EQ(form.ClickSenders[0], form.Button);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.Ticks >= 2; }, 10000));
}

TEST_F(Forms, OnCreateIsRaisedByCreateFormAfterTheWholeConstructor) {
    {
        TTestForm plain(nullptr);
        EXPECT_EQ(plain.Log, std::vector<std::string>{"constructor"});
    }
    TTestForm* Form = nullptr;
    const int before = Application->ComponentCount;
    Application->CreateForm(classid<TTestForm>, &Form);
    ASSERT_NE(Form, nullptr);
    EXPECT_EQ(Form->Log, (std::vector<std::string>{"constructor", "FormCreate"}));
    EXPECT_EQ(Form->CreateSender, Form);
    EXPECT_EQ(Form->Owner, Application);
    EXPECT_EQ(Application->ComponentCount, before + 1);
    EXPECT_EQ(Application->MainForm, Form);
    delete Form;
    EXPECT_EQ(Application->ComponentCount, before);
    EXPECT_EQ(Application->MainForm, nullptr);
}

// A program may end without Run (an exception before the loop, say): the application
// object's own destruction at exit must then leave its forms alone, since the toolkit is
// already going away.
TEST_F(Forms, AFormLeftAtExitWithoutRunEndsTheProcessCleanly) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TTestForm* Form = nullptr;
            Application->CreateForm(classid<TTestForm>, &Form);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Forms, CreateFormSetsTheReferenceBeforeTheConstructorRuns) {
    // The constructor compares TestFormReference with itself.
    TestFormReference = nullptr;
    Application->CreateForm(classid<TTestForm>, &TestFormReference);
    ASSERT_NE(TestFormReference, nullptr);
    EXPECT_TRUE(TestFormReference->ReferenceWasSet);
    delete TestFormReference;
    TestFormReference = nullptr;
}

class TThrowingForm : public TForm {
public:
    explicit TThrowingForm(TComponent* Owner)
        : TForm(Owner, kDescription, TPublishedMethods<TThrowingForm>(this, Methods)) {
        throw Exception("constructor failed");
    }
    void FormCreate(TObject*) {}
    void ButtonClick(TObject*) {}
    void TimerTick(TObject*) {}
    static const TPublishedMethod<TThrowingForm> Methods[3];
};
const TPublishedMethod<TThrowingForm> TThrowingForm::Methods[3] = {
    {"FormCreate", &TThrowingForm::FormCreate},
    {"ButtonClick", &TThrowingForm::ButtonClick},
    {"TimerTick", &TThrowingForm::TimerTick},
};

TEST_F(Forms, AThrowingConstructorResetsTheReferenceAndPassesTheExceptionOn) {
    TThrowingForm* Form = nullptr;
    const int before = Application->ComponentCount;
    try {
        Application->CreateForm(classid<TThrowingForm>, &Form);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message, "constructor failed");
    }
    EXPECT_EQ(Form, nullptr);
    EXPECT_EQ(Application->ComponentCount, before);
    EXPECT_EQ(Application->MainForm, nullptr);
}

struct OnlyKnown final : TMethodResolver {
    TNotifyEvent MethodAddress(std::string_view name) const override {
        if (name == "Known")
            return [](TObject*) {};
        return {};
    }
};

TEST_F(Forms, ADescriptionNamingWhatDoesNotExistIsRefused) {
    const TEventBinding unknownMethod[] = {{"OnClick", "Missing"}};
    const TEventBinding unknownEvent[] = {{"OnDoubleClick", "Known"}};
    const TEventBinding known[] = {{"OnClick", "Known"}};
    struct Case {
        const char* what;
        TComponentDescription components[2];
    } cases[] = {
        {"method",
         {{.Kind = SkinButton, .Name = "A", .Parent = "F", .Events = known},
          {.Kind = SkinButton, .Name = "B", .Parent = "F", .Events = unknownMethod}}},
        {"event",
         {{.Kind = SkinButton, .Name = "A", .Parent = "F", .Events = known},
          {.Kind = SkinButton, .Name = "B", .Parent = "F", .Events = unknownEvent}}},
        {"parent",
         {{.Kind = SkinGroupBox, .Name = "A", .Parent = "F"},
          {.Kind = Label, .Name = "B", .Parent = "Nowhere"}}},
        {"parent listed later",
         {{.Kind = Label, .Name = "A", .Parent = "B"},
          {.Kind = SkinGroupBox, .Name = "B", .Parent = "F"}}},
        {"duplicate name",
         {{.Kind = Label, .Name = "A", .Parent = "F"},
          {.Kind = Label, .Name = "A", .Parent = "F"}}},
    };
    for (const Case& c : cases) {
        const TFormDescription description{
            .Name = "F", .ClientWidth = 100, .ClientHeight = 100, .Components = c.components};
        EXPECT_THROW(TForm(nullptr, description, OnlyKnown{}), Exception) << c.what;
    }
}

TEST_F(Forms, FieldsOfAnotherClassOrMissingAreRefused) {
    TTestForm form(nullptr);
    EXPECT_THROW(form.FindField<TsuiButton>("Box"), Exception);
    EXPECT_THROW(form.FindField<TsuiButton>("NoSuchControl"), Exception);
    EXPECT_EQ(form.FindField<TsuiComboBox>("Box"), form.Box);
}

TEST_F(Forms, MessagesSentToTheHandleReachDispatch) {
    auto form = std::make_unique<TTestForm>(nullptr);
    const HWND handle = form->Handle;
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(static_cast<HWND>(form->Handle), handle); // created once
    EXPECT_TRUE(IsWindow(handle));

    EXPECT_EQ(SendMessageA(handle, kTestMessage, 7, -3), 42);
    ASSERT_EQ(form->Seen.size(), 1u);
    EXPECT_EQ(form->Seen[0].Msg, kTestMessage);
    EXPECT_EQ(form->Seen[0].WParam, 7u);
    EXPECT_EQ(form->Seen[0].LParam, -3);
    EXPECT_EQ(form->Seen[0].Result, 0); // as handed in

    // Anything else goes to the inherited handling, which takes nothing.
    EXPECT_EQ(SendMessageA(handle, kTestMessage + 1000, 1, 1), 0);
    EXPECT_EQ(form->Seen.size(), 1u);

    form.reset();
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_EQ(SendMessageA(handle, kTestMessage, 7, -3), 0);
}

TEST_F(Forms, DestroyingTheFormDestroysEveryControl) {
    auto form = std::make_unique<TTestForm>(nullptr);
    std::vector<QPointer<QWidget>> widgets;
    for (int i = 0; i < form->ComponentCount; ++i) {
        if (auto* control = dynamic_cast<TControl*>(form->Components[i]))
            widgets.emplace_back(control->Widget());
    }
    QPointer<QWidget> window = form->Widget();
    ASSERT_EQ(widgets.size(), std::size(kComponents) - 1); // all but the timer
    form.reset();
    for (const auto& w : widgets)
        EXPECT_TRUE(w.isNull());
    EXPECT_TRUE(window.isNull());
}

TEST_F(Forms, TabVisitsControlsByTabOrderContainerByContainer) {
    TTestForm form(nullptr);
    std::vector<std::string> names;
    for (TWinControl* c : form.TabSequence())
        names.push_back(c->Name.get().Utf8());
    // Group2 (tab order 0) comes before Group (1); inside each, by tab order.
    EXPECT_EQ(names, (std::vector<std::string>{"Button2", "Box2", "Button", "Box"}));

    form.Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.Widget()));
    form.Button->SetFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(form.Box->Focused());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    // Box2 is disabled: Tab passes it by and wraps round to the first control.
    EXPECT_TRUE(form.FindField<TsuiButton>("Button2")->Focused());
}

TEST_F(Forms, AnExceptionInAHandlerIsShownAndTheFormGoesOn) {
    TTestForm form(nullptr);
    struct Case {
        std::function<void()> raise;
        QString text;
    } cases[] = {
        {[] { throw Exception("port failure"); }, "port failure"},
        {[] { throw std::runtime_error("standard"); }, "standard"},
        {[] { throw 42; }, ""}, // not an exception: shown with an empty message
    };
    for (const Case& c : cases) {
        form.Button->OnClick = [&c](TObject*) { c.raise(); };
        SeenMessageBox seen;
        AnswerNextMessageBox(&seen);
        form.Button->Click();
        EXPECT_TRUE(seen.Shown);
        EXPECT_EQ(seen.Text, c.text);
        EXPECT_EQ(seen.Title, QString::fromStdString(Application->Title.get().Utf8()));
        EXPECT_EQ(seen.Icon, QMessageBox::Critical);
        EXPECT_EQ(seen.Buttons, 1);
    }
    EXPECT_EQ(Application->Title, "window_test"); // the executable's name by default

    // An exception leaving Dispatch is shown the same way; the sender gets result 0.
    SeenMessageBox seen;
    AnswerNextMessageBox(&seen);
    EXPECT_EQ(SendMessageA(form.Handle, kThrowingMessage, 0, 0), 0);
    EXPECT_EQ(seen.Text, "thrown in Dispatch");
}

TEST_F(Forms, RunShowsTheMainFormAndEndsWhenItCloses) {
    TTestForm* Form = nullptr;
    Application->CreateForm(classid<TTestForm>, &Form);
    TTestForm* second = nullptr;
    Application->CreateForm(classid<TTestForm>, &second);
    ASSERT_EQ(Application->MainForm, Form);
    QPointer<QWidget> window = Form->Widget();
    bool wasVisible = false;
    QTimer::singleShot(0, [&] {
        wasVisible = window->isVisible();
        Form->Close();
    });
    Application->Run();
    EXPECT_TRUE(wasVisible);
    EXPECT_TRUE(window.isNull()); // the forms are destroyed after the loop
    EXPECT_EQ(Application->ComponentCount, 0);
    EXPECT_EQ(Application->MainForm, nullptr);

    // A main form closed before the loop runs ends the run at once.
    Application->CreateForm(classid<TTestForm>, &Form);
    Form->Close();
    EXPECT_TRUE(Application->Terminated);
    Application->Run();
    EXPECT_EQ(Application->ComponentCount, 0);
    EXPECT_FALSE(Application->Terminated);
}

} // namespace
