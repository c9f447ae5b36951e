#include "click_label.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

namespace dtu {

ClickLabel::ClickLabel(Style style, QWidget* parent) : QLabel(parent), m_style(style) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    if (m_style == Style::Field) {
        setFrameShape(QFrame::StyledPanel);
        setFrameShadow(QFrame::Sunken);
        setTextInteractionFlags(Qt::NoTextInteraction);
        setMinimumWidth(120);
    }
    updateLook();
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && isEnabled() &&
        rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void ClickLabel::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

void ClickLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    // A label draws no focus of its own; without this frame Tab would move to an unseen place.
    if (!hasFocus()) return;
    QPainter p(this);
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = contentsRect();
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
}

void ClickLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) updateLook();
    QLabel::changeEvent(event);
}

void ClickLabel::updateLook() {
    if (m_style != Style::Link) return;
    // Links are green while they can be used, grey otherwise.
    setStyleSheet(isEnabled() ? QStringLiteral("color: rgb(0,128,0); text-decoration: underline;")
                              : QStringLiteral("color: gray;"));
}

}  // namespace dtu
