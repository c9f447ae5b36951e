#include "status_panel.h"

#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QLabel>

#include "data_cache_dialog.h"
#include "form_widgets.h"
#include "message_box.h"
#include "panel_widgets.h"
#include "session.h"
#include "status/status_report.h"

namespace dtu {

using namespace panel;
using form::qs;

namespace {

// Room for the values: identities are up to 20 digits, longer texts elide.
const QString kIdentitySample(20, QLatin1Char('0'));
const QString kValueSample(16, QLatin1Char('0'));

}  // namespace

StatusPanel::StatusPanel(Session& session, QWidget* parent)
    : QGroupBox(parent), m_session(session) {
    auto* grid = new QGridLayout(this);
    for (auto*& l : m_labels) l = new QLabel;
    m_model = newValue("model", kValueSample);
    m_version = newValue("version", kValueSample);
    m_imei = newField("imei", kIdentitySample);
    m_iccid = newField("iccid", kIdentitySample);
    m_operator = newValue("operatorName", kValueSample);
    m_signal = newValue("signal", kValueSample);
    m_network = newValue("network", kValueSample);
    m_mac = newField("mac", kIdentitySample);
    m_sim = newValue("sim", kValueSample);
    m_gps = newValue("gps", kValueSample);
    m_cell = newValue("cell", kValueSample);
    m_gpsUploadLink = newLink("gpsUploadLink");
    connect(m_gpsUploadLink, &ClickLabel::clicked, this, [this] {
        auto* dialog = new GpsDialog(m_session, this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
    m_cellInfoLink = newLink("cellInfoLink");
    connect(m_cellInfoLink, &ClickLabel::clicked, this,
            [this] { showMessage(this, qs(cellInfoMessage(m_session.params()))); });
    m_cellLocationBox = newBox("cellLocation");
    connect(m_imei, &ClickLabel::clicked, this,
            [this] { copyField(m_imei, windowText::kImeiCopied); });
    connect(m_iccid, &ClickLabel::clicked, this,
            [this] { copyField(m_iccid, windowText::kIccidCopied); });
    connect(m_mac, &ClickLabel::clicked, this,
            [this] { copyField(m_mac, windowText::kMacCopied); });

    int r = 0;
    auto add = [&](QLabel* label, QWidget* value, QWidget* extra = nullptr) {
        grid->addWidget(label, r, 0);
        grid->addWidget(value, r, 1, 1, extra ? 1 : 2);
        if (extra) grid->addWidget(extra, r, 2);
        ++r;
    };
    add(m_labels[0], m_model);
    add(m_labels[4], m_version);
    add(new QLabel(QStringLiteral("IMEI")), m_imei);
    add(new QLabel(QStringLiteral("ICCID")), m_iccid);
    add(m_labels[1], m_operator);
    add(m_labels[3], m_signal);
    add(m_labels[2], m_network);
    add(new QLabel(QStringLiteral("MAC")), m_mac);
    add(new QLabel(QStringLiteral("SIM")), m_sim);
    add(new QLabel(QStringLiteral("GPS")), m_gps, m_gpsUploadLink);
    add(new QLabel(QStringLiteral("GSM")), m_cell, m_cellInfoLink);
    grid->addWidget(m_cellLocationBox, r, 1);
    grid->setColumnStretch(1, 1);
}

void StatusPanel::retranslate(Language lang) {
    m_lang = lang;
    const int texts[] = {kTextModel, kTextOperator, kTextStatus, kTextSignal, kTextVersion};
    m_gpsUploadLink->setText(say(windowText::kGpsUpload, lang));
    m_cellInfoLink->setText(say(windowText::kCellInfo, lang));
    m_cellLocationBox->setText(say(windowText::kCellLocation, lang));
    for (std::size_t i = 0; i < m_labels.size(); ++i)
        m_labels[i]->setText(form::text(lang, texts[i]));
}

void StatusPanel::fillForm(MainForm& f) const {
    f.cellLocation = m_cellLocationBox->isChecked();
}

void StatusPanel::setForm(const MainForm& f) {
    m_cellLocationBox->setChecked(f.cellLocation);
}

void StatusPanel::showStatus(const StatusReport& s) {
    m_model->setText(qs(s.model));
    m_version->setText(qs(s.version));
    m_iccid->setText(qs(s.iccid));
    m_imei->setText(qs(s.imei));
    m_signal->setText(qs(s.signal));
    m_operator->setText(qs(s.operatorName));
    m_mac->setText(qs(s.mac));
    m_network->setText(qs(s.network));
    m_sim->setText(qs(s.sim));
    m_gps->setText(qs(s.gps));
    m_cell->setText(qs(s.cell));
}

void StatusPanel::copyField(const QLabel* field, FormLabel copied) {
    if (field->text().isEmpty()) return;
    QApplication::clipboard()->setText(field->text());
    m_session.appendLine(say(copied, m_lang));
}

}  // namespace dtu
