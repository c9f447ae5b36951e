#include "io_picture.h"

#include <QPainter>
#include <QPainterPath>

namespace dtu {

namespace {

// The pictures are laid out on a 60 x 41 grid and scaled to the widget.
constexpr qreal kWidth = 60;
constexpr qreal kHeight = 41;

const QColor kGreen(0, 160, 0);
const QColor kRed(210, 30, 30);

}  // namespace

IoPicture::IoPicture(Kind kind, QWidget* parent) : QAbstractButton(parent), m_kind(kind) {
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void IoPicture::setOn(bool on) {
    if (on == m_on) return;
    m_on = on;
    update();
}

QSize IoPicture::sizeHint() const {
    return {static_cast<int>(kWidth), static_cast<int>(kHeight)};
}

void IoPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) p.setOpacity(0.45);
    // The grid fills the widget's height, centred across its width.
    const qreal scale = std::min(width() / kWidth, height() / kHeight);
    p.translate((width() - kWidth * scale) / 2, (height() - kHeight * scale) / 2);
    p.scale(scale, scale);

    if (m_kind == Kind::Input) {
        p.setPen(QPen(Qt::black, 1.5));
        p.setBrush(m_on ? kGreen : Qt::black);
        p.drawEllipse(QPointF(kWidth / 2, kHeight / 2), 11, 11);
    } else {
        const QColor colour = m_on ? kGreen : kRed;
        QPen line(colour, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(line);
        const QPointF left(17, 27), right(43, 27);
        p.drawLine(QPointF(4, 27), left);
        p.drawLine(right, QPointF(56, 27));
        // The blade: along the line when closed, lifted when open.
        p.drawLine(left, m_on ? right : QPointF(40, 9));
        p.setBrush(Qt::white);
        p.setPen(QPen(colour, 2.5));
        p.drawEllipse(left, 3.5, 3.5);
        p.drawEllipse(right, 3.5, 3.5);
    }

    if (hasFocus()) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p.drawRoundedRect(QRectF(1, 1, kWidth - 2, kHeight - 2), 4, 4);
    }
}

}  // namespace dtu
