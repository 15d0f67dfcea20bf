#include "core/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {
// Where the build puts Kestrin's compiled translations, as resources.
const QString kOwnFolder = u":/i18n"_s;
} // namespace

QLocale::Language TextLanguage(const QString& language)
{
    // A column may carry a region ("de_at"); the language is what comes before it.
    const QString name = language.trimmed().section(u'_', 0, 0).toLower();
    for (const QStringView german : {u"german", u"deutsch", u"de", u"deu", u"ger"}) {
        if (name == german)
            return QLocale::German;
    }
    return QLocale::English;
}

Translations::Translations(QLocale::Language language)
    : m_locale(language)
{
    if (language == QLocale::English)
        return;
    m_kestrinTranslated = install(u"kestrin"_s, kOwnFolder);
    // Qt's own texts are a package of their own on the system: without it Qt speaks English.
    install(u"qtbase"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

Translations::~Translations()
{
    for (const auto& translator : m_installed)
        QCoreApplication::removeTranslator(translator.get());
}

bool Translations::install(const QString& name, const QString& folder)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(m_locale, name, u"_"_s, folder) || !QCoreApplication::installTranslator(translator.get()))
        return false;
    m_installed.push_back(std::move(translator));
    return true;
}

} // namespace kestrin
