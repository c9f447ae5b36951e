#pragma once

#include <QLabel>

namespace dtu {

// A text that reacts to a click: the green links that open dialogs and the status fields that
// copy themselves. Reachable with the keyboard: Tab to it (a focus frame shows it), then Space or
// Enter.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    enum class Style { Link, Field };
    explicit ClickLabel(Style style, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateLook();
    Style m_style;
};

}  // namespace dtu
