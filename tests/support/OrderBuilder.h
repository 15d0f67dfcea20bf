#pragma once

#include <QStringList>

namespace kestrin::test {

// Writes HL7 order messages for tests: a sound ORM^O01 by default, each part replaceable.
//   OrderBuilder().sample(u"4711"_s).test(u"AMP"_s).test(u"THC"_s).text()
class OrderBuilder {
public:
    OrderBuilder();

    OrderBuilder& controlId(const QString& msh10);
    OrderBuilder& patient(const QString& pid3, const QString& pid5 = QStringLiteral("Meier^Anna"),
                          const QString& birth = QStringLiteral("19800101"), const QString& sex = QStringLiteral("F"));
    OrderBuilder& sample(const QString& orc2);
    OrderBuilder& customer(const QString& orc21);
    OrderBuilder& orderControl(const QString& orc1);
    OrderBuilder& charset(const QString& msh18);
    OrderBuilder& test(const QString& code, const QString& name = QString());
    OrderBuilder& note(const QString& comment);
    OrderBuilder& segment(const QString& line); // any further line, after the others
    OrderBuilder& withoutPatient();
    // PID and ORC end after their last given field (no sex, no ORC-21), as some senders write them.
    OrderBuilder& shortSegments();

    QStringList lines() const;
    // The lines, each followed by the line end (CR, the classic HL7 segment end).
    QString text(const QString& lineEnd = QStringLiteral("\r")) const;

private:
    QString m_controlId = QStringLiteral("MSG0001");
    QString m_charset;
    QString m_pid3 = QStringLiteral("P100");
    QString m_pid5 = QStringLiteral("Meier^Anna");
    QString m_birth = QStringLiteral("19800101");
    QString m_sex = QStringLiteral("F");
    bool m_patient = true;
    bool m_short = false;
    QString m_orc1 = QStringLiteral("NW");
    QString m_orc2 = QStringLiteral("4711");
    QString m_orc21 = QStringLiteral("KIS1");
    QStringList m_obr;
    QStringList m_nte;
    QStringList m_extra;
};

} // namespace kestrin::test
