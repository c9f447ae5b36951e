#include "swatch_combo.h"

#include <QIconEngine>
#include <QPainter>
#include <array>

namespace dtu {

namespace {

const std::array<QColor, 4> kSwatches = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(255, 255, 0),
                                         QColor(255, 255, 255)};

// A swatch painted at whatever size and scale the icon is drawn at.
class SwatchEngine : public QIconEngine {
public:
    explicit SwatchEngine(QColor colour) : m_colour(colour) {}
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        painter->save();
        painter->setPen(QPen(Qt::black, 1));
        painter->setBrush(m_colour);
        painter->drawRect(QRectF(rect).adjusted(0.5, 1.5, -0.5, -1.5));
        painter->restore();
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QPixmap pixmap(size * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return pixmap;
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QIconEngine* clone() const override { return new SwatchEngine(m_colour); }

private:
    QColor m_colour;
};

}  // namespace

QIcon swatchIcon(int index) {
    const auto i = static_cast<std::size_t>(index) % kSwatches.size();
    return QIcon(new SwatchEngine(kSwatches[i]));
}

SwatchCombo::SwatchCombo(QWidget* parent) : QComboBox(parent) {
    setIconSize(QSize(20, 14));
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
}

void SwatchCombo::setEntries(const QStringList& entries) {
    clear();
    for (int i = 0; i < entries.size(); ++i) addItem(swatchIcon(i), entries[i]);
}

}  // namespace dtu
