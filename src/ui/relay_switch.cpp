#include "relay_switch.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace dtu {

namespace {

// The picture is drawn on a 100 x 60 plate, scaled to the widget without distortion.
constexpr qreal kPlateWidth = 100;
constexpr qreal kPlateHeight = 60;
constexpr qreal kLineY = 40;
constexpr qreal kPivotX = 33;
constexpr qreal kContactX = 67;
constexpr qreal kOpenDegrees = 32;

const QColor kOpenColour(0xC6, 0x28, 0x28);
const QColor kClosedColour(0x2E, 0x7D, 0x32);
const QColor kWireColour(0x42, 0x42, 0x42);

}  // namespace

RelaySwitch::RelaySwitch(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    // The picture grows with the dialog, keeping its proportions.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void RelaySwitch::setClosed(bool closed) {
    if (m_closed == closed) return;
    m_closed = closed;
    update();
}

QSize RelaySwitch::sizeHint() const {
    const int h = fontMetrics().height() * 5;
    return {h * 5 / 3, h};
}

QSize RelaySwitch::minimumSizeHint() const {
    const int h = fontMetrics().height() * 3;
    return {h * 5 / 3, h};
}

void RelaySwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) p.setOpacity(0.55);

    const qreal scale = std::min(width() / kPlateWidth, height() / kPlateHeight);
    p.translate((width() - kPlateWidth * scale) / 2, (height() - kPlateHeight * scale) / 2);
    p.scale(scale, scale);

    const QColor colour = m_closed ? kClosedColour : kOpenColour;
    QColor plate = colour;
    plate.setAlpha(28);
    p.setPen(QPen(colour, 2));
    p.setBrush(plate);
    p.drawRoundedRect(QRectF(1, 1, kPlateWidth - 2, kPlateHeight - 2), 8, 8);

    // The two wires, to the pivot and from the contact.
    p.setPen(QPen(kWireColour, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, kLineY), QPointF(kPivotX, kLineY));
    p.drawLine(QPointF(kContactX, kLineY), QPointF(kPlateWidth - 10, kLineY));

    // The blade: lying on the contact, or lifted away from it.
    const qreal length = kContactX - kPivotX + 4;
    const qreal angle = m_closed ? 0 : kOpenDegrees * std::numbers::pi / 180;
    const QPointF pivot(kPivotX, kLineY);
    const QPointF tip(kPivotX + length * std::cos(angle), kLineY - length * std::sin(angle));
    p.setPen(QPen(colour, 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(pivot, tip);

    // The hinge the blade turns on, and the contact it closes onto.
    p.setPen(QPen(colour, 3));
    p.setBrush(colour);
    p.drawEllipse(pivot, 5, 5);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(kContactX, kLineY), 5, 5);

    if (hasFocus()) {
        p.resetTransform();
        p.setOpacity(1);
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

}  // namespace dtu
