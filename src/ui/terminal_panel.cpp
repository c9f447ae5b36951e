#include "terminal_panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "form_widgets.h"
#include "message_box.h"
#include "panel_widgets.h"
#include "params/form_values.h"
#include "session.h"
#include "status/status_report.h"
#include "text/gbk.h"
#include "text/hex.h"

namespace dtu {

using namespace panel;
using form::qs;
using form::utf8;

namespace {
constexpr std::size_t kSendLimit = 1024;  // bytes the send line takes at once
}

TerminalPanel::TerminalPanel(Session& session, QWidget* parent)
    : QWidget(parent), m_session(session) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* head = new QHBoxLayout;
    m_receiveLabel = new QLabel;
    m_receiveHex = newBox("receiveHex", QStringLiteral("HEX"));
    connect(m_receiveHex, &QCheckBox::toggled, this,
            [this](bool on) { m_session.flow().setRawHex(on); });
    m_clearLink = newLink("clearLink");
    connect(m_clearLink, &ClickLabel::clicked, this, [this] {
        m_session.clearLog();
        m_receiveBox->clear();
    });
    head->addWidget(m_receiveLabel);
    head->addWidget(m_receiveHex);
    head->addStretch(1);
    head->addWidget(m_clearLink);
    layout->addLayout(head);

    m_receiveBox = new QPlainTextEdit;
    m_receiveBox->setObjectName(QStringLiteral("receiveBox"));
    m_receiveBox->setReadOnly(true);
    m_receiveBox->setMinimumSize(320, 200);
    layout->addWidget(m_receiveBox, 1);

    auto* send = new QHBoxLayout;
    m_sendEdit = form::edit("sendEdit");
    m_sendHex = newBox("sendHex", QStringLiteral("HEX"));
    m_sendButton = newButton("sendButton");
    connect(m_sendButton, &QPushButton::clicked, this, &TerminalPanel::sendLine);
    connect(m_sendEdit, &QLineEdit::returnPressed, this, &TerminalPanel::sendLine);
    send->addWidget(m_sendEdit, 1);
    send->addWidget(m_sendHex);
    send->addWidget(m_sendButton);
    layout->addLayout(send);

    m_memoryLine = newField("memoryLine", QString());
    m_memoryLine->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_memoryLine->setFrameShape(QFrame::NoFrame);
    m_memoryLine->setMinimumHeight(fontMetrics().height());
    m_memoryLine->setFocusPolicy(Qt::NoFocus);
    m_memoryLine->setCursor(Qt::ArrowCursor);
    connect(m_memoryLine, &ClickLabel::clicked, this, [this] {
        m_memoryClicks = std::min(m_memoryClicks + 1, 10);
        if (m_memoryClicks >= 10) m_memoryLine->setText(qs(memoryLine(m_session.params())));
    });
    layout->addWidget(m_memoryLine);
}

void TerminalPanel::retranslate(Language lang) {
    m_lang = lang;
    m_receiveLabel->setText(form::text(lang, kTextRx));
    m_sendButton->setText(form::text(lang, kTextSend));
    m_clearLink->setText(form::text(lang, kTextClear));
}

void TerminalPanel::append(const QString& t, bool cleared) {
    if (cleared) m_receiveBox->clear();
    QString shown = t;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_receiveBox->moveCursor(QTextCursor::End);
    m_receiveBox->insertPlainText(shown);
    m_receiveBox->verticalScrollBar()->setValue(m_receiveBox->verticalScrollBar()->maximum());
}

void TerminalPanel::clear() {
    m_receiveBox->clear();
}

void TerminalPanel::sendLine() {
    const std::string typed = utf8(m_sendEdit);
    std::vector<std::uint8_t> bytes;
    if (m_sendHex->isChecked()) {
        auto parsed = parseHex(typed);
        if (!parsed) {
            showMessage(this, qs(inLanguage(kHexEntryMessage, m_lang)));
            return;
        }
        bytes = std::move(*parsed);
    } else {
        auto gbk = utf8ToGbk(typed);
        if (!gbk) {
            showMessage(this, qs(notGbkMessage(windowText::kSendData, m_lang)));
            return;
        }
        bytes = std::move(*gbk);
    }
    if (bytes.size() > kSendLimit) {
        showMessage(this, qs(tooLongMessage(windowText::kSendData, kSendLimit, m_lang)));
        return;
    }
    m_session.flow().sendRaw(bytes);
}

}  // namespace dtu
