#pragma once

#include <QHash>
#include <QString>

namespace kestrin {

class Database;

// What a result message says of a parameter: observation identifier, unit and cut-off,
// each trimmed, empty for a parameter TEST_DEF does not know.
struct ParameterTexts {
    QString importCode;
    QString longName;
    QString unit;
    QString cutoff;
};

// TEST_DEF read once per export cycle, so that every result line does not ask again.
class TestCatalogue {
public:
    static TestCatalogue Load(Database& db);
    ParameterTexts texts(qint64 parameterId) const { return m_texts.value(parameterId); }

private:
    QHash<qint64, ParameterTexts> m_texts;
};

} // namespace kestrin
