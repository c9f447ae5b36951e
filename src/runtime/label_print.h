#pragma once

#include <QDateTime>
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "production/label.h"
#include "text/language.h"

namespace dtu {

// The model names of the production folder's model list; empty when it is missing or not a
// regular file.
std::vector<std::string> loadModelList(const QString& dir);

struct LabelPrintResult {
    LabelRefusal refusal = LabelRefusal::None;
    QString refusalText;  // for a message box, when refused
    QString readError;    // why the logo text or the template could not be read, when refused
    QString historyLine;  // the line added to the history, without its CR LF; empty if none
    bool historyDuplicate = false;  // the device and model were already in the history
    QStringList fileErrors;         // history or logo file that could not be written
    QString sendError;              // a datagram that could not be sent
    int datagrams = 0;              // sent
    qint64 bytes = 0;

    bool printed() const { return refusal == LabelRefusal::None && sendError.isEmpty(); }
};

// Prints one label: reads the logo and the template from the production folder, refuses the
// whole print when any of it is wrong, otherwise writes logo.pcx, adds the history line and
// sends the set-up, logo and label datagrams from one socket. Nothing waits on the network.
LabelPrintResult printLabel(const QString& dir, const LabelRequest& request,
                            const QHostAddress& service, quint16 port, const QDateTime& now,
                            Language lang);

}  // namespace dtu
