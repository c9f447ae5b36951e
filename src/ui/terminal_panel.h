#pragma once

#include <QWidget>

#include "text/language.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace dtu {

class ClickLabel;
class Session;

// The serial terminal: the receive box with its HEX view and clearing, the send line, and
// under them the hidden memory line.
class TerminalPanel : public QWidget {
    Q_OBJECT
public:
    explicit TerminalPanel(Session& session, QWidget* parent = nullptr);

    void retranslate(Language lang);
    // Text for the receive box; cleared empties the box first.
    void append(const QString& text, bool cleared);
    void clear();

private:
    void sendLine();

    Session& m_session;
    Language m_lang = Language::Chinese;
    int m_memoryClicks = 0;
    QLabel* m_receiveLabel = nullptr;
    QCheckBox* m_receiveHex = nullptr;
    ClickLabel* m_clearLink = nullptr;
    QPlainTextEdit* m_receiveBox = nullptr;
    QLineEdit* m_sendEdit = nullptr;
    QCheckBox* m_sendHex = nullptr;
    QPushButton* m_sendButton = nullptr;
    ClickLabel* m_memoryLine = nullptr;
};

}  // namespace dtu
