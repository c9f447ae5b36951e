// A label for values of any length: it asks for the room of a sample text only, so a long value
// never widens the window, and shows what does not fit elided, the whole text as its tooltip.
// text() stays the whole value.
#pragma once

#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <utility>

namespace dtu {

template <typename Base>
class Elided : public Base {
public:
    template <typename... Args>
    explicit Elided(QString sample, Args&&... args)
        : Base(std::forward<Args>(args)...), m_sample(std::move(sample)) {
        this->setProperty("elides", true);  // a long value is shortened on purpose
    }

    QSize sizeHint() const override { return {roomFor(m_sample), Base::sizeHint().height()}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override {
        const QString full = this->text();
        const QRect room = this->contentsRect().adjusted(this->margin(), this->margin(),
                                                         -this->margin(), -this->margin());
        const bool fits = this->fontMetrics().size(0, full).width() <= room.width();
        const QString tip = fits ? QString() : full;
        if (this->toolTip() != tip) this->setToolTip(tip);
        if (fits) {
            Base::paintEvent(event);
            return;
        }
        QPainter painter(this);
        this->drawFrame(&painter);
        this->style()->drawItemText(
            &painter, room,
            int(QStyle::visualAlignment(this->layoutDirection(), this->alignment())),
            this->palette(), this->isEnabled(),
            this->fontMetrics().elidedText(full, Qt::ElideRight, room.width()),
            this->foregroundRole());
    }

private:
    int roomFor(const QString& text) const {
        const QMargins m = this->contentsMargins();
        return this->fontMetrics().size(0, text).width() + m.left() + m.right() +
               2 * this->margin();
    }

    QString m_sample;
};

}  // namespace dtu
