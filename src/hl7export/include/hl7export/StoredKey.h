#pragma once

#include <QString>
#include <QVariantList>

namespace kestrin {

class Database;

// A key (a sample ID, an order key) as the rows of an older database may hold it. The embedded
// database's columns without a declared type keep 4711, '4711' and the bytes of "4711" apart, so
// that one table may hold a sample's ID as a number and the next as text: a row is found by
// the key's text and by every other form the key was read in. A decimal number's text also
// finds the number. Other engines convert to the column's type, and get the text alone.
class StoredKey {
public:
    StoredKey() = default;
    // The key of a value as a row held it.
    StoredKey(const Database& db, const QVariant& value);

    // Another form in which the same key was read.
    void add(const QVariant& value);

    // As the message and the file name show it.
    const QString& text() const { return m_text; }
    // "COLUMN = ?", or "COLUMN IN (?, ?)" for several forms, binding `values()`.
    QString condition(const QString& column) const;
    const QVariantList& values() const { return m_forms; }

private:
    QString m_text;
    QVariantList m_forms;
    bool m_untyped = false;
};

} // namespace kestrin
