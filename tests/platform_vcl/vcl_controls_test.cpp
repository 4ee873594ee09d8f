// The controls the window relies on, each driven through its platform properties and,
// where the user can act on it, through real key and mouse events.
#include "qt_test_app.h"
#include "vcl.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <vector>

namespace {

const TFormDescription kEmptyForm{.Name = "HostForm", .ClientWidth = 538, .ClientHeight = 243};

struct NoMethods final : TMethodResolver {
    TNotifyEvent MethodAddress(std::string_view) const override { return {}; }
};

// An empty form to put controls on.
class Controls : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        host = std::make_unique<TForm>(nullptr, kEmptyForm, NoMethods{});
    }

    template <class T> T* Make(int left, int top, int width, int height) {
        auto* control = new T(host.get());
        control->Parent = host.get();
        control->SetBounds(left, top, width, height);
        return control;
    }

    void ShowAndActivate() {
        host->Show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(host->Widget()));
    }

    std::unique_ptr<TForm> host;
};

QComboBox* QtBox(TsuiComboBox* box) {
    return static_cast<QComboBox*>(box->Widget());
}

TsuiComboBox* FillBox(TsuiComboBox* box, TComboBoxStyle style) {
    box->Style = style;
    for (const char* item : {"NO", "ODD", "EVEN"})
        box->Items->Add(item);
    return box;
}

TEST_F(Controls, ComboBoxAddAppendsWithoutSelecting) {
    for (TComboBoxStyle style : {csDropDownList, csDropDown}) {
        auto* box = Make<TsuiComboBox>(0, 0, 69, 21);
        box->Style = style;
        EXPECT_EQ(box->Items->Add("COM3"), 0);
        EXPECT_EQ(box->Items->Add("COM12"), 1);
        EXPECT_EQ(box->Items->Add("COM1"), 2);
        EXPECT_EQ(box->Items->Count, 3);
        EXPECT_EQ(box->Items->Strings[0], "COM3"); // in the order added, not sorted
        EXPECT_EQ(box->Items->Strings[2], "COM1");
        EXPECT_EQ(box->ItemIndex, -1);
        EXPECT_EQ(box->Text, "");
        EXPECT_THROW(box->Items->Strings[3], Exception);
    }
}

TEST_F(Controls, ComboBoxItemIndexWritesFollowThePlatformRules) {
    struct Case {
        int write;
        int index;
        const char* text;
    } cases[] = {
        {1, 1, "ODD"}, {2, 2, "EVEN"}, {0, 0, "NO"}, {3, -1, ""},
        {-1, -1, ""},  {255, -1, ""},  {-5, -1, ""},
    };
    for (TComboBoxStyle style : {csDropDownList, csDropDown}) {
        TsuiComboBox* box = FillBox(Make<TsuiComboBox>(0, 0, 69, 21), style);
        for (const Case& c : cases) {
            box->ItemIndex = 1; // start from a selection each time
            box->ItemIndex = c.write;
            EXPECT_EQ(box->ItemIndex, c.index) << "style " << style << " write " << c.write;
            EXPECT_EQ(box->Text, c.text) << "style " << style << " write " << c.write;
        }
    }
}

TEST_F(Controls, ComboBoxSameIndexChangesNothing) {
    TsuiComboBox* box = FillBox(Make<TsuiComboBox>(0, 0, 69, 21), csDropDownList);
    box->ItemIndex = 2;
    QSignalSpy changes(QtBox(box), &QComboBox::currentIndexChanged);
    box->ItemIndex = 2;
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(box->ItemIndex, 2);
}

TEST_F(Controls, DropDownListTextSelectsTheMatchingEntry) {
    TsuiComboBox* box = FillBox(Make<TsuiComboBox>(0, 0, 69, 21), csDropDownList);
    box->Text = "EVEN";
    EXPECT_EQ(box->ItemIndex, 2);
    box->Text = "MARK";
    EXPECT_EQ(box->ItemIndex, -1);
    EXPECT_EQ(box->Text, "");
    EXPECT_EQ(QtBox(box)->lineEdit(), nullptr); // no field to type into
}

TEST_F(Controls, DropDownSelectionFollowsTheTypedText) {
    TsuiComboBox* box = FillBox(Make<TsuiComboBox>(0, 0, 90, 21), csDropDown);
    box->ItemIndex = 0;
    ShowAndActivate();
    QLineEdit* edit = QtBox(box)->lineEdit();
    ASSERT_NE(edit, nullptr);
    edit->setFocus();

    edit->selectAll();
    QTest::keyClicks(edit, "E"); // completed inline to "EVEN"
    EXPECT_EQ(box->Text, "EVEN");
    EXPECT_EQ(box->ItemIndex, 2);

    edit->selectAll();
    QTest::keyClicks(edit, "MARK"); // no such entry: nothing selected
    EXPECT_EQ(box->Text, "MARK");
    EXPECT_EQ(box->ItemIndex, -1);
    QTest::keyClick(edit, Qt::Key_Return); // Enter never adds an entry
    EXPECT_EQ(box->Items->Count, 3);

    box->ItemIndex = 1; // a write replaces the typed text
    EXPECT_EQ(box->Text, "ODD");
}

TEST_F(Controls, EnabledAndVisibleAreTheControlsOwnFlags) {
    TsuiComboBox* box = FillBox(Make<TsuiComboBox>(0, 0, 69, 21), csDropDownList);
    auto* image = Make<TImage>(16, 118, 31, 28);
    // Before the window is shown, both still read as designed.
    EXPECT_TRUE(box->Enabled);
    EXPECT_TRUE(image->Visible);
    box->Enabled = false;
    image->Visible = false;
    EXPECT_FALSE(box->Enabled);
    EXPECT_FALSE(QtBox(box)->isEnabled());
    EXPECT_FALSE(image->Visible);
    ShowAndActivate();
    EXPECT_FALSE(image->Widget()->isVisible());
    image->Visible = true;
    box->Enabled = true;
    EXPECT_TRUE(image->Widget()->isVisible());
    EXPECT_TRUE(QtBox(box)->isEnabled());
}

TEST_F(Controls, ImageShowsItsPictureFromTheTopLeftCorner) {
    struct Case {
        TPictureId picture;
        QColor centre;
    } cases[] = {{TPictureId::LampUnlit, Qt::black}, {TPictureId::LampLit, QColor(255, 0, 0)}};
    for (const Case& c : cases) {
        auto* image = Make<TImage>(16, 118, 31, 28);
        image->SetPicture(c.picture);
        const QImage shot = image->Widget()->grab().toImage();
        EXPECT_EQ(shot.size(), QSize(31, 28));
        // The lamp is centred on pixel (15, 15) of its 32 x 32 image.
        EXPECT_EQ(shot.pixelColor(15, 15), c.centre);
    }
}

TEST_F(Controls, ButtonIsPressedByMouseSpaceAndEnterButNeverByEscape) {
    auto* button = Make<TsuiButton>(57, 121, 77, 26);
    auto* box = FillBox(Make<TsuiComboBox>(64, 18, 69, 21), csDropDown);
    button->Caption = "打开";
    EXPECT_EQ(button->Caption, "打开");
    std::vector<TObject*> senders;
    button->OnClick = [&](TObject* sender) { senders.push_back(sender); };
    ShowAndActivate();
    auto* widget = static_cast<QPushButton*>(button->Widget());
    EXPECT_FALSE(widget->isDefault());
    EXPECT_FALSE(widget->autoDefault());

    QTest::mouseClick(widget, Qt::LeftButton);
    ASSERT_EQ(senders.size(), 1u);
    EXPECT_EQ(senders[0], button);

    button->SetFocus();
    QTest::keyClick(widget, Qt::Key_Space);
    QTest::keyClick(widget, Qt::Key_Return);
    QTest::keyClick(widget, Qt::Key_Enter);
    EXPECT_EQ(senders.size(), 4u);
    QTest::keyClick(widget, Qt::Key_Escape);
    EXPECT_EQ(senders.size(), 4u);

    // Enter or Esc in a selector presses no button: the window has no default button.
    box->SetFocus();
    QTest::keyClick(QtBox(box)->lineEdit(), Qt::Key_Return);
    QTest::keyClick(QtBox(box)->lineEdit(), Qt::Key_Escape);
    EXPECT_EQ(senders.size(), 4u);

    button->Click();
    EXPECT_EQ(senders.size(), 5u);
}

TEST_F(Controls, StatusBarPanelsTakeTheirWidthsTheLastRunsToTheEnd) {
    auto* bar = Make<TsuiStatusBar>(0, 222, 538, 21);
    const TAlignment alignments[] = {taLeftJustify, taCenter, taCenter};
    for (TAlignment alignment : alignments) {
        TStatusPanel* panel = bar->Panels->Add();
        panel->Width = 180;
        panel->Alignment = alignment;
    }
    bar->Panels->Items[0]->Text = "Opened";
    bar->Panels->Items[1]->Text = "Successful";
    EXPECT_EQ(bar->Panels->Count, 3);
    EXPECT_EQ(bar->Panels->Items[0]->Text, "Opened");
    EXPECT_EQ(bar->Panels->Items[2]->Width, 180); // the designed width is kept
    EXPECT_THROW(bar->Panels->Items[3], Exception);
    EXPECT_THROW(bar->Panels->Items[-1], Exception);

    std::vector<QLabel*> labels;
    for (QObject* child : bar->Widget()->children()) {
        if (auto* label = qobject_cast<QLabel*>(child))
            labels.push_back(label);
    }
    ASSERT_EQ(labels.size(), 3u);
    const int lefts[] = {0, 180, 360};
    const int widths[] = {180, 180, 178};
    const Qt::Alignment horizontal[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignHCenter};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(labels[i]->geometry().left(), lefts[i]) << i;
        EXPECT_EQ(labels[i]->geometry().width(), widths[i]) << i;
        EXPECT_EQ(labels[i]->alignment() & Qt::AlignHorizontal_Mask, horizontal[i]) << i;
    }
    EXPECT_EQ(labels[0]->text(), "Opened");
}

TEST_F(Controls, LabelNeverWraps) {
    auto* label = Make<TLabel>(10, 23, 49, 19);
    label->Caption = "串     口：";
    EXPECT_EQ(label->Caption, "串     口：");
    auto* qt = static_cast<QLabel*>(label->Widget());
    EXPECT_FALSE(qt->wordWrap());
    EXPECT_EQ(qt->text(), QString::fromUtf8("串     口："));
}

TEST_F(Controls, TimerTicksWhileEnabled) {
    auto* timer = new TTimer(host.get());
    int ticks = 0;
    TObject* sender = nullptr;
    timer->OnTimer = [&](TObject* s) {
        ++ticks;
        sender = s;
    };
    timer->Interval = 20;
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 10000));
    EXPECT_EQ(sender, timer);
    timer->Enabled = false;
    const int stopped = ticks;
    QTest::qWait(200);
    EXPECT_EQ(ticks, stopped);
}

} // namespace
