#pragma once

#include "core/Error.h"

namespace kestrin {

// A statement the database refused, or a connection that failed: the driver's text and
// the statement it was about.
class DbError : public Error {
public:
    DbError(const QString& driverText, const QString& statement)
        : Error(statement.isEmpty() ? driverText : driverText + QStringLiteral(" [") + statement + u']')
        , m_driverText(driverText)
        , m_statement(statement)
    {
    }

    QString driverText() const { return m_driverText; }
    QString statement() const { return m_statement; }

private:
    QString m_driverText;
    QString m_statement;
};

} // namespace kestrin
