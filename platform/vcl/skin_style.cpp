// The selectors' skin: drawn by hand over a fixed base style, so the look does not depend
// on the desktop's theme.
#include "vcl_widgets.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionComboBox>

namespace vcl_widgets {

SkinStyle::SkinStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

SkinStyle* SkinStyle::Instance() {
    static SkinStyle* style = new SkinStyle;
    return style;
}

namespace {

const SkinComboBoxWidget* AsSelector(const QWidget* widget) {
    return dynamic_cast<const SkinComboBoxWidget*>(widget);
}

} // namespace

QRect SkinStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                SubControl sub, const QWidget* widget) const {
    if (control != CC_ComboBox)
        return QProxyStyle::subControlRect(control, option, sub, widget);
    const QRect r = option->rect;
    switch (sub) {
    case SC_ComboBoxFrame:
        return r;
    case SC_ComboBoxArrow:
        return QRect(r.right() - ArrowButtonWidth, r.top() + 1, ArrowButtonWidth, r.height() - 2);
    case SC_ComboBoxEditField:
        return QRect(r.left() + 3, r.top() + 2, r.width() - ArrowButtonWidth - 5, r.height() - 4);
    default:
        return QProxyStyle::subControlRect(control, option, sub, widget);
    }
}

void SkinStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                   QPainter* painter, const QWidget* widget) const {
    const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option);
    const SkinComboBoxWidget* selector = AsSelector(widget);
    if (control != CC_ComboBox || !combo || !selector) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    const bool enabled = option->state & State_Enabled;
    const QPalette::ColorGroup group = enabled ? QPalette::Active : QPalette::Disabled;
    const QRect r = option->rect;
    painter->save();
    painter->fillRect(r.adjusted(1, 1, -1, -1), option->palette.color(group, QPalette::Base));

    // The field of a pick-only list shows the focus as a selection.
    const QRect field = subControlRect(CC_ComboBox, combo, SC_ComboBoxEditField, widget);
    if (!combo->editable && (option->state & State_HasFocus) && enabled)
        painter->fillRect(field.adjusted(-1, 0, 1, 0),
                          option->palette.color(QPalette::Active, QPalette::Highlight));

    const QRect arrow = subControlRect(CC_ComboBox, combo, SC_ComboBoxArrow, widget);
    painter->fillRect(arrow, selector->ButtonColor);
    painter->setPen(selector->BorderColor);
    painter->drawLine(arrow.topLeft() - QPoint(1, 0), arrow.bottomLeft() - QPoint(1, 0));
    painter->drawRect(r.adjusted(0, 0, -1, -1));

    // A small downward triangle, seven pixels wide.
    const QColor arrowColor = enabled ? selector->ArrowColor : QColor(0x80, 0x80, 0x80);
    const int cx = arrow.center().x();
    const int cy = arrow.center().y() - 1;
    painter->setPen(arrowColor);
    for (int row = 0; row < 4; ++row)
        painter->drawLine(cx - 3 + row, cy + row, cx + 3 - row, cy + row);
    painter->restore();
}

void SkinStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                            const QWidget* widget) const {
    const auto* combo = qstyleoption_cast<const QStyleOptionComboBox*>(option);
    if (element != CE_ComboBoxLabel || !combo || !AsSelector(widget)) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    if (combo->editable)
        return; // the line edit shows the text
    const bool enabled = option->state & State_Enabled;
    const bool focused = enabled && (option->state & State_HasFocus);
    const QRect field = subControlRect(CC_ComboBox, combo, SC_ComboBoxEditField, widget);
    painter->save();
    painter->setPen(option->palette.color(enabled ? QPalette::Active : QPalette::Disabled,
                                          focused ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(field, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      combo->currentText);
    painter->restore();
}

int SkinStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                         QStyleHintReturn* returnData) const {
    // The list drops down below the field, as tall as DropDownCount rows allow, for both
    // kinds of selector.
    if (hint == SH_ComboBox_Popup)
        return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

} // namespace vcl_widgets
