#pragma once

#include <QAbstractButton>

namespace dtu {

// The relay test switch's face, drawn rather than loaded so that it stays sharp at any size:
// a red switch with its blade lifted while open, a green one with the blade down on its
// contact while closed. It only shows what it is told; a click is the button's clicked().
class RelaySwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit RelaySwitch(QWidget* parent = nullptr);

    void setClosed(bool closed);
    bool isClosed() const { return m_closed; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_closed = false;
};

}  // namespace dtu
