#pragma once

#include <QTranslator>

#include "text/language.h"

namespace dtu {

// Qt's own texts (the buttons of message boxes, the file chooser, the standard context menus)
// in the window's language. Qt speaks English by itself, so English needs no catalogue.
class QtTranslations {
public:
    // Installs Qt's catalogue for lang on the application, or removes it for English. Without
    // the catalogue installed on the system Qt's texts stay English.
    void use(Language lang);

private:
    QTranslator m_chinese;  // removes itself from the application when destroyed
    bool m_loaded = false;
    bool m_installed = false;
};

}  // namespace dtu
