// The skinned frame's own title bar, replacing the system caption.
#include "artwork.h"
#include "vcl_widgets.h"

#include <QAction>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace vcl_widgets {

namespace {

constexpr int kButtonTop = 1;
constexpr int kIconLeft = 3;
constexpr int kIconTop = 2;
constexpr int kIconSize = 16;
constexpr int kGap = 4;

} // namespace

TitleButton::TitleButton(QWidget* parent) : QAbstractButton(parent) {
    setObjectName(QStringLiteral("CloseButton"));
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    setToolTip(QObject::tr("Close"));
    resize(artwork::CloseButtonSize);
}

QSize TitleButton::sizeHint() const {
    return artwork::CloseButtonSize;
}

void TitleButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const artwork::ButtonState state = isDown()       ? artwork::ButtonState::Pressed
                                       : underMouse() ? artwork::ButtonState::Hover
                                                      : artwork::ButtonState::Normal;
    p.drawPixmap(0, 0, artwork::CloseButton(state));
}

TitleBarWidget::TitleBarWidget(QWidget* parent)
    : QWidget(parent), Close(new TitleButton(this)), Menu(new QMenu(this)) {
    setObjectName(QStringLiteral("TitleBar"));
    setFocusPolicy(Qt::NoFocus);
    connect(Close, &QAbstractButton::clicked, this, [this] { window()->close(); });

    // The window menu: the window can neither be minimised nor maximised, so only Close
    // is enabled.
    Menu->setObjectName(QStringLiteral("WindowMenu"));
    QAction* minimize = Menu->addAction(QObject::tr("Mi&nimize"));
    QAction* maximize = Menu->addAction(QObject::tr("Ma&ximize"));
    minimize->setEnabled(false);
    maximize->setEnabled(false);
    Menu->addSeparator();
    QAction* close = Menu->addAction(QObject::tr("&Close"));
    close->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    QFont bold = Menu->font();
    bold.setBold(true);
    close->setFont(bold);
    connect(close, &QAction::triggered, this, [this] { window()->close(); });
    // The menu's keys work while the menu is closed too: Alt+F4 closes, Alt+Space opens it.
    close->setShortcutContext(Qt::WindowShortcut);
    addAction(close);
    auto* openMenu = new QAction(this);
    openMenu->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Space));
    openMenu->setShortcutContext(Qt::WindowShortcut);
    connect(openMenu, &QAction::triggered, this, [this] { ShowWindowMenu(); });
    addAction(openMenu);
}

void TitleBarWidget::SetTitle(const QString& title) {
    TitleText = title;
    update();
}

void TitleBarWidget::SetTitleFont(const QFont& font, const QColor& active, const QColor& inactive) {
    TitleFont = font;
    if (active.isValid())
        ActiveColor = active;
    if (inactive.isValid())
        InactiveColor = inactive;
    update();
}

QRect TitleBarWidget::IconRect() const {
    return {kIconLeft, kIconTop, kIconSize, kIconSize};
}

QRect TitleBarWidget::TitleRect() const {
    const int left = kIconLeft + kIconSize + kGap;
    return {left, 0, std::max(0, Close->x() - kGap - left), height()};
}

QString TitleBarWidget::ShownTitle() const {
    return QFontMetrics(TitleFont).elidedText(TitleText, Qt::ElideRight, TitleRect().width());
}

QColor TitleBarWidget::TitleColor() const {
    return isActiveWindow() ? ActiveColor : InactiveColor;
}

void TitleBarWidget::ShowWindowMenu() {
    Menu->popup(mapToGlobal(QPoint(0, height())));
}

void TitleBarWidget::resizeEvent(QResizeEvent*) {
    Close->move(width() - Close->width() - 2, kButtonTop);
}

void TitleBarWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // The title pictures are 23 pixels high; the bar shows their top 20 rows.
    const QPixmap left = artwork::TitleLeft();
    const QPixmap right = artwork::TitleRight();
    const int rightX = width() - right.width();
    p.drawPixmap(QRect(left.width(), 0, std::max(0, rightX - left.width()), left.height()),
                 artwork::TitleFiller());
    p.drawPixmap(0, 0, left);
    p.drawPixmap(rightX, 0, right);

    const QIcon icon = window()->windowIcon();
    if (!icon.isNull())
        p.drawPixmap(IconRect(), icon.pixmap(kIconSize, kIconSize));

    p.setFont(TitleFont);
    p.setPen(TitleColor());
    p.drawText(TitleRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, ShownTitle());
}

void TitleBarWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (IconRect().contains(event->position().toPoint())) {
        ShowWindowMenu();
        return;
    }
    // Let the window system move the window where it can; otherwise follow the pointer.
    if (QWindow* handle = window()->windowHandle(); handle && handle->startSystemMove())
        return;
    Dragging = true;
    DragOffset = event->globalPosition().toPoint() - window()->pos();
}

void TitleBarWidget::mouseMoveEvent(QMouseEvent* event) {
    if (Dragging && (event->buttons() & Qt::LeftButton))
        window()->move(event->globalPosition().toPoint() - DragOffset);
}

void TitleBarWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        Dragging = false;
}

void TitleBarWidget::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange)
        update();
    QWidget::changeEvent(event);
}

SkinFrameWidget::SkinFrameWidget(QWidget* parent)
    : QWidget(parent), Bar(new TitleBarWidget(this)) {}

void SkinFrameWidget::resizeEvent(QResizeEvent*) {
    Bar->setGeometry(0, 0, width(), TitleBarWidget::BarHeight);
}

} // namespace vcl_widgets
