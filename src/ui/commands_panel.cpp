#include "commands_panel.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "form_widgets.h"
#include "panel_widgets.h"
#include "session.h"

namespace dtu {

using namespace panel;

CommandsPanel::CommandsPanel(Session& session, QWidget* parent)
    : QWidget(parent), m_session(session) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    m_readButton = newButton("readButton");
    m_saveButton = newButton("saveButton");
    m_rebootButton = newButton("rebootButton");
    m_resetButton = newButton("resetButton");
    for (QPushButton* b : {m_readButton, m_saveButton, m_rebootButton, m_resetButton}) {
        b->setMinimumHeight(32);
        row->addWidget(b);
    }
    connect(m_readButton, &QPushButton::clicked, this, [this] { m_session.flow().read(); });
    connect(m_saveButton, &QPushButton::clicked, this, &CommandsPanel::saveRequested);
    connect(m_rebootButton, &QPushButton::clicked, this, [this] { m_session.flow().reboot(); });
    connect(m_resetButton, &QPushButton::clicked, this,
            [this] { m_session.flow().factoryReset(); });
    m_piecesBox = newBox("piecesBox");
    connect(m_piecesBox, &QCheckBox::toggled, this,
            [this](bool on) { m_session.flow().setPieces(on); });
    row->addWidget(m_piecesBox);
    layout->addLayout(row);

    auto* oneClick = new QHBoxLayout;
    m_oneClickButton = newButton("oneClickButton");
    m_oneClickPath = form::edit("oneClickPath");
    m_oneClickButton->hide();
    m_oneClickPath->hide();
    connect(m_oneClickButton, &QPushButton::clicked, this, &CommandsPanel::oneClickRequested);
    oneClick->addWidget(m_oneClickButton);
    oneClick->addWidget(m_oneClickPath, 1);
    layout->addLayout(oneClick);
}

void CommandsPanel::retranslate(Language lang) {
    m_readButton->setText(form::text(lang, kTextRead));
    m_saveButton->setText(form::text(lang, kTextSave));
    m_rebootButton->setText(form::text(lang, kTextRestart));
    m_resetButton->setText(form::text(lang, kTextDefault));
    m_piecesBox->setText(form::text(lang, kTextSaveFailedTryAgain));
    m_oneClickButton->setText(say(windowText::kOneClick, lang));
}

void CommandsPanel::setCommandsEnabled(bool enabled) {
    for (QPushButton* b : {m_readButton, m_saveButton, m_rebootButton, m_resetButton})
        b->setEnabled(enabled);
}

void CommandsPanel::offerOneClick() {
    m_saveButton->setEnabled(false);
    m_oneClickButton->show();
    m_oneClickPath->show();
}

void CommandsPanel::setOneClickPath(const QString& path) {
    m_oneClickPath->setText(path);
    m_oneClickPath->setToolTip(path);  // a long path scrolls in its box
}

QString CommandsPanel::oneClickPath() const {
    return m_oneClickPath->text();
}

}  // namespace dtu
