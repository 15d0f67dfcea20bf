#include "OrderBuilder.h"

using namespace Qt::StringLiterals;

namespace kestrin::test {

OrderBuilder::OrderBuilder() = default;

OrderBuilder& OrderBuilder::controlId(const QString& msh10)
{
    m_controlId = msh10;
    return *this;
}

OrderBuilder& OrderBuilder::patient(const QString& pid3, const QString& pid5, const QString& birth, const QString& sex)
{
    m_pid3 = pid3;
    m_pid5 = pid5;
    m_birth = birth;
    m_sex = sex;
    m_patient = true;
    return *this;
}

OrderBuilder& OrderBuilder::sample(const QString& orc2)
{
    m_orc2 = orc2;
    return *this;
}

OrderBuilder& OrderBuilder::customer(const QString& orc21)
{
    m_orc21 = orc21;
    return *this;
}

OrderBuilder& OrderBuilder::orderControl(const QString& orc1)
{
    m_orc1 = orc1;
    return *this;
}

OrderBuilder& OrderBuilder::charset(const QString& msh18)
{
    m_charset = msh18;
    return *this;
}

OrderBuilder& OrderBuilder::test(const QString& code, const QString& name)
{
    m_obr << u"OBR|%1|%2||%3^%4"_s.arg(QString::number(m_obr.size() + 1), m_orc2, code, name.isEmpty() ? code : name);
    return *this;
}

OrderBuilder& OrderBuilder::note(const QString& comment)
{
    m_nte << u"NTE|%1|L|%2"_s.arg(QString::number(m_nte.size() + 1), comment);
    return *this;
}

OrderBuilder& OrderBuilder::segment(const QString& line)
{
    m_extra << line;
    return *this;
}

OrderBuilder& OrderBuilder::withoutPatient()
{
    m_patient = false;
    return *this;
}

OrderBuilder& OrderBuilder::shortSegments()
{
    m_short = true;
    return *this;
}

QStringList OrderBuilder::lines() const
{
    QString msh = u"MSH|^~\\&|KIS|HOSP|KESTRIN|LAB|20190120140503||ORM^O01|%1|P|2.3"_s.arg(m_controlId);
    if (!m_charset.isEmpty())
        msh += u"||||||"_s + m_charset;
    QStringList lines{msh};
    if (m_patient) {
        lines << (m_short ? u"PID|1||%1||%2"_s.arg(m_pid3, m_pid5)
                          : u"PID|1||%1||%2||%3|%4"_s.arg(m_pid3, m_pid5, m_birth, m_sex));
        lines << u"PV1|1|O|STAT^^^HOSP"_s;
    }
    lines << u"ORC|%1|%2"_s.arg(m_orc1, m_orc2) + (m_short ? QString() : QString(u"|"_s).repeated(19) + m_orc21);
    lines << m_obr << m_nte << m_extra;
    return lines;
}

QString OrderBuilder::text(const QString& lineEnd) const
{
    QString text;
    for (const QString& line : lines())
        text += line + lineEnd;
    return text;
}

} // namespace kestrin::test
