#pragma once

#include <QLocale>
#include <QString>

#include <memory>
#include <vector>

class QTranslator;

namespace kestrin {

// The language of Kestrin's own texts for the INI's `language`, the textstrings column the
// captions come from: German for a German-named column ("german", "deutsch", "de"), English,
// the language of the source texts, for every other value.
QLocale::Language TextLanguage(const QString& language);

// While it lives, Kestrin's own texts and Qt's (dialog buttons) follow `language`: the
// translation built into the program, and Qt's own where the system has it.
class Translations {
public:
    explicit Translations(QLocale::Language language);
    ~Translations();
    Translations(const Translations&) = delete;
    Translations& operator=(const Translations&) = delete;

    // Whether Kestrin's own translation for the language is installed; always false for
    // English, which needs none.
    bool kestrinTranslated() const { return m_kestrinTranslated; }

private:
    bool install(const QString& name, const QString& folder);

    QLocale m_locale;
    std::vector<std::unique_ptr<QTranslator>> m_installed;
    bool m_kestrinTranslated = false;
};

} // namespace kestrin
