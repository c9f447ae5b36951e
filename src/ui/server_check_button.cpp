#include "server_check_button.h"

#include "check/server_check.h"
#include "form_widgets.h"
#include "server_checker.h"
#include "session.h"
#include "text/dialog_texts.h"

namespace dtu {

ServerCheckButton::ServerCheckButton(Session& session, std::function<bool(DeviceParams&)> record,
                                     bool mqttOnly, QWidget* parent)
    : QPushButton(parent),
      m_session(session),
      m_record(std::move(record)),
      m_mqttOnly(mqttOnly),
      m_checker(new ServerChecker(this)) {
    setObjectName(QStringLiteral("serverCheckButton"));
    setAutoDefault(false);  // Enter in an edit of a dialog means OK
    retranslate();
    connect(this, &QPushButton::clicked, this, &ServerCheckButton::run);
    connect(m_checker, &ServerChecker::checked, this, [this](int, const CheckResult& r) {
        m_session.appendLine(QString::fromStdString(r.text(m_session.language())) +
                             QStringLiteral("\r\n"));
    });
    connect(m_checker, &ServerChecker::finished, this, [this] { setEnabled(true); });
    connect(&m_session, &Session::languageChanged, this, &ServerCheckButton::retranslate);
}

void ServerCheckButton::retranslate() {
    setText(form::text(dialogText::kTestConnection, m_session.language()));
}

void ServerCheckButton::run() {
    DeviceParams params = m_session.params();
    if (!m_record(params)) return;
    const CheckPlan plan = m_mqttOnly ? planMqttCheck(params) : planChecks(params);
    const Language lang = m_session.language();
    // The notes first: they hold whatever the links' lines say.
    for (const CheckResult& note : planNotes(plan))
        m_session.appendLine(QString::fromStdString(note.text(lang)) + QStringLiteral("\r\n"));
    if (plan.items.empty()) return;
    setEnabled(false);
    m_checker->start(plan);
}

}  // namespace dtu
