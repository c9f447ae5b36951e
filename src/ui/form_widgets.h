// Small helpers the feature dialogs share to build their widgets and copy values between them
// and their form structs.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <string>
#include <string_view>

#include "text/language.h"

namespace dtu::form {

inline QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

inline QString text(Language lang, int id) {
    return qs(langText(lang, id));
}

inline QString text(FormLabel label, Language lang) {
    return qs(inLanguage(label, lang));
}

template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// The row that closes a dialog, at its right: OK, the default button, and Cancel unless the
// dialog has none; Enter never presses Cancel. Named okButton and cancelButton. A dialog with
// nothing to accept has Close alone (closeButton), which rejects.
enum class Closing { OkOnly, OkCancel, CloseOnly };
inline QHBoxLayout* closingRow(QDialog* dialog, Language lang, Closing buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    if (buttons == Closing::CloseOnly) {
        auto* close = named(new QPushButton(text(lang, kTextClose)), "closeButton");
        close->setAutoDefault(false);  // Enter in an edit does not close the dialog
        QObject::connect(close, &QPushButton::clicked, dialog, &QDialog::reject);
        row->addWidget(close);
        return row;
    }
    auto* ok = named(new QPushButton(text(lang, kTextOk)), "okButton");
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    row->addWidget(ok);
    if (buttons == Closing::OkCancel) {
        auto* cancel = named(new QPushButton(text(lang, kTextCancel)), "cancelButton");
        cancel->setAutoDefault(false);
        QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
        row->addWidget(cancel);
    }
    return row;
}

inline QLineEdit* edit(const char* name, int minimumWidth = 0) {
    auto* e = named(new QLineEdit, name);
    if (minimumWidth > 0) e->setMinimumWidth(minimumWidth);
    return e;
}

// A number edit: wide enough for its digits, no wider, and never squeezed below them.
inline QLineEdit* numberEdit(const char* name, int width = 70) {
    auto* e = named(new QLineEdit, name);
    e->setFixedWidth(width);
    return e;
}

// Makes a number edit exactly wide enough for the given count of digits in its own font.
inline void fitDigits(QLineEdit* edit, int digits) {
    // The frame's share of a width, as the style lays out the edit's contents in it.
    QStyleOptionFrame opt;
    opt.initFrom(edit);
    opt.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, edit);
    opt.rect = QRect(0, 0, 200, edit->sizeHint().height());
    const int contents = edit->style()
                             ->subElementRect(QStyle::SE_LineEditContents, &opt, edit)
                             .marginsRemoved(edit->textMargins())
                             .width();
    // The edit keeps two pixels either side of its text.
    const int text = edit->fontMetrics().horizontalAdvance(QString(digits, QLatin1Char('0')));
    edit->setFixedWidth(text + 4 + 200 - contents);
}

inline std::string utf8(const QLineEdit* edit) {
    return edit->text().toStdString();
}

inline void put(QLineEdit* edit, const std::string& value) {
    edit->setText(QString::fromStdString(value));
}

// A stored value no entry stands for shows as no selection.
inline void setCombo(QComboBox* combo, int index) {
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

}  // namespace dtu::form
