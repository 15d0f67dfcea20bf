#pragma once

#include <QString>

#include <stdexcept>

namespace kestrin {

// A statement the database refused, or a connection that failed: the driver's text and
// the statement it was about.
class DbError : public std::runtime_error {
public:
    DbError(const QString& driverText, const QString& statement)
        : std::runtime_error(describe(driverText, statement).toStdString())
        , m_driverText(driverText)
        , m_statement(statement)
    {
    }

    QString driverText() const { return m_driverText; }
    QString statement() const { return m_statement; }
    QString message() const { return describe(m_driverText, m_statement); }

private:
    static QString describe(const QString& driverText, const QString& statement)
    {
        return statement.isEmpty() ? driverText : driverText + QStringLiteral(" [") + statement + u']';
    }

    QString m_driverText;
    QString m_statement;
};

} // namespace kestrin
