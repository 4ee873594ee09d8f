// The main window as the user sees it: every control where it belongs, the tab sequence,
// the frameless fixed-size window with its own title bar and window menu, the status bar
// panels, the skin's colours and the fonts.
#include "Unit1.h"
#include "pty_port.h"
#include "qt_test_app.h"
#include "value_lists.h"
#include "vcl_widgets.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QCompleter>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

namespace {

const QColor kSurface(0xFB, 0xFB, 0xFB);
const QColor kSkyBlue(0xA6, 0xCA, 0xF0);

class WindowLook : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        Application->Initialize();
    }

    void TearDown() override {
        delete Form1;
        Form1 = nullptr;
    }

    void CreateWindow() {
        Application->CreateForm(classid<TForm1>, &Form1);
        ASSERT_NE(Form1, nullptr);
        Form1->Show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form1->Widget()));
    }

    static QWidget* TitleBar() {
        return Form1->suiForm1->Widget()->findChild<QWidget*>("TitleBar");
    }

    // The control that has the keyboard focus, by name.
    static std::string FocusedName() {
        for (int i = 0; i < Form1->ComponentCount; ++i) {
            auto* control = dynamic_cast<TWinControl*>(Form1->Components[i]);
            if (control && control->Focused())
                return control->Name.get().Utf8();
        }
        return "(none)";
    }

    // Names of the controls Tab visits, from the focused one until it comes round again.
    static std::vector<std::string> TabRound() {
        std::vector<std::string> names{FocusedName()};
        for (int i = 0; i < 30; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            const std::string name = FocusedName();
            names.push_back(name);
            if (name == names.front())
                break;
        }
        return names;
    }

    testsupport::DosDevices devices;
};

enum class Kind { Frame, Group, Label, Image, Selector, Button, StatusBar, Timer };

struct ExpectedControl {
    const char* name;
    Kind kind;
    const char* parent;
    QRect box;
    const char* text;                    // caption, label text or selector text
    std::vector<std::string_view> items; // selectors
    bool enabled;
};

std::vector<std::string_view> Items(const ValueList& list) {
    return {list.Items.begin(), list.Items.end()};
}

TEST_F(WindowLook, EveryControlHasItsParentPlaceTextListAndState) {
    CreateWindow(); // no port mapped: the port list stays empty
    const std::vector<ExpectedControl> expected = {
        {"suiForm1",
         Kind::Frame,
         "Form1",
         {0, 0, 538, 243},
         "CMT2300透传模块配置工具------Varnholt",
         {},
         true},
        {"suiGroupBox1", Kind::Group, "suiForm1", {7, 23, 154, 194}, "用户", {}, true},
        {"Label1", Kind::Label, "suiGroupBox1", {10, 52, 52, 19}, "波特率：", {}, true},
        {"Label2", Kind::Label, "suiGroupBox1", {10, 82, 52, 21}, "效     验：", {}, true},
        {"Label3", Kind::Label, "suiGroupBox1", {10, 23, 49, 19}, "串     口：", {}, true},
        {"Image1", Kind::Image, "suiGroupBox1", {16, 118, 31, 28}, "", {}, true},
        {"Image2", Kind::Image, "suiGroupBox1", {16, 118, 31, 28}, "", {}, true},
        {"suiButton_OpenPort", Kind::Button, "suiGroupBox1", {57, 121, 77, 26}, "打开", {}, true},
        {"suiComboBox_PcPort", Kind::Selector, "suiGroupBox1", {64, 18, 69, 21}, "", {}, true},
        {"suiComboBox_PcBaudRate",
         Kind::Selector,
         "suiGroupBox1",
         {64, 49, 69, 21},
         "9600",
         {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"},
         true},
        {"suiComboBox_PcParity",
         Kind::Selector,
         "suiGroupBox1",
         {64, 79, 69, 21},
         "NO",
         {"NO", "ODD", "EVEN"},
         true},
        {"suiStatusBar1", Kind::StatusBar, "suiForm1", {0, 222, 538, 21}, "", {}, true},
        {"suiGroupBox2", Kind::Group, "suiForm1", {169, 24, 361, 193}, "参数配置页", {}, true},
        {"Label4", Kind::Label, "suiGroupBox2", {16, 34, 65, 13}, "无线信道:", {}, true},
        {"Label5", Kind::Label, "suiGroupBox2", {181, 34, 65, 13}, "工作模式:", {}, true},
        {"Label6", Kind::Label, "suiGroupBox2", {16, 74, 65, 13}, "串口速率:", {}, true},
        {"Label7", Kind::Label, "suiGroupBox2", {181, 74, 65, 13}, "串口效验:", {}, true},
        {"Label8", Kind::Label, "suiGroupBox2", {16, 111, 65, 13}, "休眠时间:", {}, true},
        {"suiComboBox1",
         Kind::Selector,
         "suiGroupBox2",
         {81, 30, 90, 21},
         "1ch",
         Items(RadioChannelList),
         true},
        {"suiComboBox2",
         Kind::Selector,
         "suiGroupBox2",
         {246, 30, 90, 21},
         "正常模式",
         Items(WorkModeList),
         true},
        {"suiComboBox3",
         Kind::Selector,
         "suiGroupBox2",
         {81, 70, 90, 21},
         "9600",
         Items(SerialRateList),
         true},
        {"suiComboBox4",
         Kind::Selector,
         "suiGroupBox2",
         {246, 70, 90, 21},
         "NO",
         Items(SerialParityList),
         false},
        {"suiButton1", Kind::Button, "suiGroupBox2", {56, 146, 89, 27}, "写入配置", {}, true},
        {"suiButton2", Kind::Button, "suiGroupBox2", {192, 146, 89, 27}, "读取配置", {}, true},
        {"suiComboBox5",
         Kind::Selector,
         "suiGroupBox2",
         {81, 107, 90, 21},
         "2s",
         Items(SleepTimeList),
         true},
        {"Timer1", Kind::Timer, "Form1", {}, "", {}, true},
    };
    ASSERT_EQ(Form1->ComponentCount, static_cast<int>(expected.size()));
    for (int i = 0; i < Form1->ComponentCount; ++i) {
        const ExpectedControl& e = expected[static_cast<std::size_t>(i)];
        SCOPED_TRACE(e.name);
        TComponent* component = Form1->Components[i]; // created in this order
        ASSERT_EQ(component->Name, e.name);
        if (e.kind == Kind::Timer) {
            auto* timer = dynamic_cast<TTimer*>(component);
            ASSERT_NE(timer, nullptr);
            EXPECT_EQ(timer->Interval, 100);
            EXPECT_TRUE(timer->Enabled);
            continue;
        }
        auto* control = dynamic_cast<TControl*>(component);
        ASSERT_NE(control, nullptr);
        TWinControl* parent = control->Parent;
        ASSERT_NE(parent, nullptr);
        EXPECT_EQ(parent->Name, e.parent);
        EXPECT_EQ(control->Widget()->parentWidget(), parent->ClientWidget());
        EXPECT_EQ(control->Widget()->geometry(), e.box);
        EXPECT_EQ(control->Enabled, e.enabled);

        std::string text;
        switch (e.kind) {
        case Kind::Frame:
            text = dynamic_cast<TsuiForm*>(control)->Caption.get().Utf8();
            break;
        case Kind::Group:
            text = dynamic_cast<TsuiGroupBox*>(control)->Caption.get().Utf8();
            break;
        case Kind::Label:
            text = dynamic_cast<TLabel*>(control)->Caption.get().Utf8();
            break;
        case Kind::Button:
            text = dynamic_cast<TsuiButton*>(control)->Caption.get().Utf8();
            break;
        case Kind::Selector: {
            auto* box = dynamic_cast<TsuiComboBox*>(control);
            ASSERT_NE(box, nullptr);
            text = box->Text.get().Utf8();
            ASSERT_EQ(box->Items->Count, static_cast<int>(e.items.size()));
            for (int k = 0; k < box->Items->Count; ++k)
                EXPECT_EQ(box->Items->Strings[k].Utf8(), e.items[std::size_t(k)]);
            break;
        }
        case Kind::Image:
        case Kind::StatusBar:
        case Kind::Timer:
            break;
        }
        EXPECT_EQ(text, e.text);
    }
    EXPECT_EQ(Form1->Caption, "CMT2300透传模块配置工具------Varnholt");
    EXPECT_EQ(Form1->ClientWidth, 538);
    EXPECT_EQ(Form1->ClientHeight, 243);
    // After start-up exactly one indicator shows, in the same box.
    EXPECT_TRUE(Form1->Image1->Visible);
    EXPECT_FALSE(Form1->Image2->Visible);
}

TEST_F(WindowLook, SelectorsAndButtonsBehaveAsDesigned) {
    CreateWindow();
    for (TsuiComboBox* pc :
         {Form1->suiComboBox_PcPort, Form1->suiComboBox_PcBaudRate, Form1->suiComboBox_PcParity}) {
        auto* box = static_cast<QComboBox*>(pc->Widget());
        EXPECT_FALSE(box->isEditable()) << pc->Name; // nothing can be typed
        EXPECT_EQ(pc->Style, csDropDownList);
    }
    for (TsuiComboBox* param : {Form1->suiComboBox1, Form1->suiComboBox2, Form1->suiComboBox3,
                                Form1->suiComboBox4, Form1->suiComboBox5}) {
        auto* box = static_cast<QComboBox*>(param->Widget());
        ASSERT_TRUE(box->isEditable()) << param->Name;
        ASSERT_NE(box->completer(), nullptr);
        EXPECT_EQ(box->completer()->completionMode(), QCompleter::InlineCompletion);
        EXPECT_EQ(box->maxVisibleItems(), 8);
        QStyleOptionViewItem option;
        option.initFrom(box->view());
        EXPECT_EQ(box->itemDelegate()->sizeHint(option, box->model()->index(0, 0)).height(), 13);
    }
    for (TsuiButton* button : {Form1->suiButton_OpenPort, Form1->suiButton1, Form1->suiButton2}) {
        auto* push = static_cast<QPushButton*>(button->Widget());
        EXPECT_FALSE(push->isDefault());
        EXPECT_FALSE(push->autoDefault());
    }
    for (TLabel* label : {Form1->Label1, Form1->Label2, Form1->Label3, Form1->Label4, Form1->Label5,
                          Form1->Label6, Form1->Label7, Form1->Label8}) {
        auto* qt = static_cast<QLabel*>(label->Widget());
        EXPECT_FALSE(qt->wordWrap());
        EXPECT_TRUE(qt->autoFillBackground()); // opaque
    }
}

TEST_F(WindowLook, TabVisitsTheControlsInTheDesignedOrder) {
    testsupport::PtyPort port(devices, 3);
    CreateWindow();
    EXPECT_EQ(FocusedName(), "suiButton_OpenPort"); // the first control has the focus
    const std::vector<std::string> closed = {
        "suiButton_OpenPort",   "suiComboBox_PcPort", "suiComboBox_PcBaudRate",
        "suiComboBox_PcParity", "suiComboBox1",       "suiComboBox2",
        "suiComboBox3",         "suiButton1",         "suiButton2",
        "suiComboBox5",         "suiButton_OpenPort"};
    EXPECT_EQ(TabRound(), closed);

    QTest::keyClick(Form1->suiButton_OpenPort->Widget(), Qt::Key_Space); // open the port
    ASSERT_TRUE(Form1->Serial->IsOpen());
    const std::vector<std::string> open = {
        "suiButton_OpenPort", "suiComboBox1", "suiComboBox2", "suiComboBox3",
        "suiButton1",         "suiButton2",   "suiComboBox5", "suiButton_OpenPort"};
    EXPECT_EQ(TabRound(), open);
}

TEST_F(WindowLook, TheWindowIsFixedFramelessAndCentred) {
    CreateWindow();
    QWidget* window = Form1->Widget();
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::FramelessWindowHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    // The client area and a one-pixel border around it; not resizable.
    EXPECT_EQ(window->minimumSize(), QSize(540, 245));
    EXPECT_EQ(window->maximumSize(), QSize(540, 245));
    EXPECT_EQ(Form1->ClientWidget()->geometry(), QRect(1, 1, 538, 243));
    const QRect desktop = window->screen()->virtualGeometry();
    EXPECT_LE((window->frameGeometry().center() - desktop.center()).manhattanLength(), 2);

    const QImage shot = window->grab().toImage();
    for (const QPoint& p : {QPoint(0, 0), QPoint(539, 244), QPoint(270, 0), QPoint(0, 120)})
        EXPECT_EQ(shot.pixelColor(p), QColor(Qt::black)) << p.x() << "," << p.y();

    const QSet<qint64> sizes = [] {
        QSet<qint64> s;
        for (const QSize& size : QApplication::windowIcon().availableSizes())
            s.insert(size.width());
        return s;
    }();
    EXPECT_TRUE(sizes.contains(16) && sizes.contains(32) && sizes.contains(48));
}

TEST_F(WindowLook, TheTitleBarShowsIconCaptionAndCloseButton) {
    CreateWindow();
    QWidget* bar = TitleBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->geometry(), QRect(0, 0, 538, 20));
    auto* close = bar->findChild<QAbstractButton*>("CloseButton");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->size(), QSize(19, 19));
    EXPECT_GT(close->x(), 500); // at the right end

    const QImage shot = bar->grab().toImage();
    // Dark blue under the caption, white (bold) caption text somewhere in it.
    bool white = false;
    for (int x = 25; x < 300 && !white; ++x)
        for (int y = 4; y < 16 && !white; ++y)
            white = shot.pixelColor(x, y) == QColor(Qt::white);
    EXPECT_TRUE(white);
    EXPECT_LT(shot.pixelColor(450, 10).lightness(), 128);

    // A caption too long for the bar is cut and ends in an ellipsis.
    auto* titleBar = dynamic_cast<vcl_widgets::TitleBarWidget*>(bar);
    ASSERT_NE(titleBar, nullptr);
    EXPECT_EQ(titleBar->ShownTitle(), titleBar->Title());
    Form1->suiForm1->Caption = QString(80, QChar(0x914D)).toStdString(); // 80 x "配"
    EXPECT_TRUE(titleBar->ShownTitle().endsWith(QChar(0x2026)));
    EXPECT_LT(titleBar->ShownTitle().size(), 80);
    Form1->suiForm1->Caption = "CMT2300透传模块配置工具------Varnholt";

    // While the window is inactive the caption takes the inactive caption colour.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    const QImage inactive = bar->grab().toImage();
    bool whiteLeft = false;
    for (int x = 25; x < 300 && !whiteLeft; ++x)
        for (int y = 4; y < 16 && !whiteLeft; ++y)
            whiteLeft = inactive.pixelColor(x, y) == QColor(Qt::white);
    EXPECT_FALSE(whiteLeft);
}

TEST_F(WindowLook, DraggingTheTitleBarMovesTheWindow) {
    CreateWindow();
    QWidget* window = Form1->Widget();
    QWidget* bar = TitleBar();
    const QPoint before = window->pos();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(200, 10));
    QTest::mouseMove(bar, QPoint(230, 30));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(230, 30));
    EXPECT_EQ(window->pos() - before, QPoint(30, 20));
}

TEST_F(WindowLook, TheWindowMenuOffersOnlyCloseWhichEndsTheApplication) {
    CreateWindow();
    QPointer<QWidget> window = Form1->Widget();
    QWidget* bar = TitleBar();
    auto* menu = bar->findChild<QMenu*>("WindowMenu");
    ASSERT_NE(menu, nullptr);

    std::vector<QString> entries;
    int enabled = 0;
    QPoint menuAt;
    bool sawMenu = false;
    const QPoint barBottomLeft = bar->mapToGlobal(QPoint(0, bar->height()));
    QTimer::singleShot(0, [&] {
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(10, 10)); // the icon
        sawMenu = QApplication::activePopupWidget() == menu;
        menuAt = menu->pos();
        QAction* close = nullptr;
        for (QAction* action : menu->actions()) {
            entries.push_back(action->isSeparator() ? "-" : action->text());
            if (!action->isSeparator() && action->isEnabled()) {
                ++enabled;
                close = action;
            }
        }
        if (close)
            close->trigger();
        else
            Form1->Close();
    });
    Application->Run(); // ends when the main window closes
    Form1 = nullptr;    // destroyed by Run

    EXPECT_TRUE(sawMenu);
    EXPECT_EQ(menuAt, barBottomLeft); // just below the bar
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[2], "-");
    EXPECT_EQ(enabled, 1);
    EXPECT_TRUE(entries[3].contains("Close"));
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(Application->ComponentCount, 0);
}

TEST_F(WindowLook, StatusPanelsAreLoweredWithTheirWidthsAndAlignments) {
    CreateWindow();
    std::vector<QLabel*> labels;
    for (QObject* child : Form1->suiStatusBar1->Widget()->children()) {
        if (auto* label = qobject_cast<QLabel*>(child))
            labels.push_back(label);
    }
    ASSERT_EQ(labels.size(), 3u);
    const int lefts[] = {0, 180, 360};
    const int widths[] = {180, 180, 178};
    const Qt::Alignment horizontal[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignHCenter};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(labels[i]->x(), lefts[i]) << i;
        EXPECT_EQ(labels[i]->width(), widths[i]) << i;
        EXPECT_EQ(labels[i]->alignment() & Qt::AlignHorizontal_Mask, horizontal[i]) << i;
        EXPECT_EQ(Form1->suiStatusBar1->Panels->Items[i]->Bevel, pbLowered) << i;
    }
    EXPECT_FALSE(Form1->suiStatusBar1->SizeGrip);
}

TEST_F(WindowLook, SurfacesFramesAndFieldsHaveTheSkinsColours) {
    CreateWindow();
    Form1->suiComboBox1->SetFocus(); // no focus highlight on the PC selectors
    const QImage shot = Form1->Widget()->grab().toImage();
    // Window coordinates: the client area starts at (1, 1).
    auto at = [&](TControl* control, int x, int y) {
        const QPoint p = control->Widget()->mapTo(Form1->Widget(), QPoint(x, y));
        return shot.pixelColor(p);
    };
    EXPECT_EQ(at(Form1->suiForm1, 3, 21), kSurface);                       // frame below the bar
    EXPECT_EQ(at(Form1->suiGroupBox1, 140, 180), kSurface);                // inside the group
    EXPECT_EQ(at(Form1->suiGroupBox1, 0, 100), QColor(Qt::black));         // its frame
    EXPECT_EQ(at(Form1->Label4, 60, 10), kSurface);                        // a label's background
    EXPECT_EQ(at(Form1->suiStatusBar1, 100, 10), kSurface);                // a status panel
    EXPECT_EQ(at(Form1->suiComboBox_PcBaudRate, 0, 0), QColor(Qt::black)); // selector border
    EXPECT_EQ(at(Form1->suiComboBox_PcBaudRate, 45, 17), kSkyBlue);        // PC selector field
    EXPECT_EQ(at(Form1->suiComboBox3, 70, 17), QColor(Qt::white));         // parameter field
    EXPECT_EQ(at(Form1->suiComboBox_PcBaudRate, 60, 3), kSurface);         // the arrow button
    EXPECT_NE(at(Form1->suiComboBox4, 70, 17), QColor(Qt::white));         // greyed when disabled
}

// A string drawn with `font` into an image, for comparing what reached the screen.
QImage Render(const QString& text, const QFont& font) {
    QImage image(40, 24, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(image.rect(), Qt::AlignLeft | Qt::AlignVCenter, text);
    return image;
}

TEST_F(WindowLook, ChineseTextIsDrawnWithAnInstalledCjkFont) {
    CreateWindow();
    ASSERT_FALSE(QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty())
        << "no CJK font installed (fonts-wqy-microhei)";
    const QFont font = Form1->Label4->Widget()->font();
    EXPECT_EQ(font.pixelSize(), 11);
    // Two different characters give different pictures, and neither is the picture of a
    // character no font has (a box or nothing): missing glyphs all look alike.
    const QImage yong = Render(QString::fromUtf8("用"), font);
    const QImage hu = Render(QString::fromUtf8("户"), font);
    const QImage missing = Render(QString(QChar(0xE000)), font);
    EXPECT_NE(yong, hu);
    EXPECT_NE(yong, missing);
    EXPECT_NE(hu, missing);
}

} // namespace
