#pragma once

#include <QAbstractButton>

namespace dtu {

// A picture of the RTU test panel, painted rather than loaded so that it stays sharp at any
// scale: an input is a dot, black while inactive and green while active; a relay is a switch
// symbol, red and open or green and closed. It is a button: a relay switches on a click, and
// clicks on the first input are counted.
class IoPicture : public QAbstractButton {
    Q_OBJECT
public:
    enum class Kind { Input, Relay };
    explicit IoPicture(Kind kind, QWidget* parent = nullptr);

    // An active input, a closed relay.
    void setOn(bool on);
    bool isOn() const { return m_on; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind m_kind;
    bool m_on = false;
};

}  // namespace dtu
