// Small helpers the main window's panels share to build their controls.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <array>

#include "click_label.h"
#include "elided_label.h"
#include "text/window_texts.h"

namespace dtu::panel {

// One of the window's own words in the chosen language.
inline QString say(FormLabel label, Language lang) {
    const std::string_view t = windowText::in(label, lang);
    return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

template <std::size_t N>
void fillCombo(QComboBox* combo, const std::array<const char*, N>& entries) {
    for (const char* e : entries) combo->addItem(QString::fromUtf8(e));
}

inline QComboBox* newCombo(const char* name) {
    auto* c = new QComboBox;
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

// A combo whose entries change with the language is never squeezed below its longest entry.
inline void keepEntriesWhole(QComboBox* c) {
    c->setMinimumWidth(0);
    c->setMinimumWidth(c->sizeHint().width());
}

inline QCheckBox* newBox(const char* name, const QString& label = {}) {
    auto* b = new QCheckBox(label);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

inline QPushButton* newButton(const char* name) {
    auto* b = new QPushButton;
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

inline ClickLabel* newLink(const char* name, const QString& label = {}) {
    auto* l = new ClickLabel(ClickLabel::Style::Link);
    l->setObjectName(QString::fromLatin1(name));
    l->setText(label);
    return l;
}

// Status values come from the device: shown as the characters they are, never as markup. The
// window makes room for the sample; longer values elide.
inline QLabel* newValue(const char* name, const QString& sample) {
    auto* l = new Elided<QLabel>(sample);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

inline ClickLabel* newField(const char* name, const QString& sample) {
    auto* l = new Elided<ClickLabel>(sample, ClickLabel::Style::Field);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    return l;
}

}  // namespace dtu::panel
