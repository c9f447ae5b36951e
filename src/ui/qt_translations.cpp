#include "qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace dtu {

void QtTranslations::use(Language lang) {
    if (lang == Language::English) {
        if (m_installed) QCoreApplication::removeTranslator(&m_chinese);
        m_installed = false;
        return;
    }
    if (m_installed) return;
    // Only the base module's catalogue: the widgets' texts are there, and the whole set would
    // cost memory for modules the program never loads.
    if (!m_loaded)
        m_loaded = m_chinese.load(QStringLiteral("qtbase_zh_CN"),
                                  QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    m_installed = m_loaded && QCoreApplication::installTranslator(&m_chinese);
}

}  // namespace dtu
