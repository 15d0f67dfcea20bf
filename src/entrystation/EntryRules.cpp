#include "entrystation/EntryRules.h"

#include "FixedTexts.h"
#include "core/Numbers.h"
#include "core/TextChecks.h"

#include <QCoreApplication>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {
constexpr std::u16string_view kUncleanResultCharacters = u"\\ *$\u00A7'";
constexpr double kRedBackgroundBelow = -1;
} // namespace

bool IsCleanResult(QStringView text)
{
    for (QChar c : text) {
        if (kUncleanResultCharacters.find(c.unicode()) != std::u16string_view::npos)
            return false;
    }
    return true;
}

QString NoHistoryEntryText(const QString& row)
{
    return QCoreApplication::translate("EntryRules", "There is no entry in history row %1 to delete.").arg(row);
}

Command ParseCommandWord(QStringView text)
{
    const QStringView word = text.left(3);
    if (word == u"ESC")
        return {CommandWord::Esc, -1, {}};
    if (word == u"CLS")
        return {CommandWord::Cls, -1, {}};
    if (word == u"END")
        return {CommandWord::End, -1, {}};
    if (word == u"PIC")
        return {CommandWord::Pic, -1, {}};
    if (word == u"DEL" && text.size() == 4) {
        const QChar digit = text.at(3);
        const bool isRow = digit >= u'1' && digit <= u'8';
        return {CommandWord::Del, isRow ? digit.unicode() - u'1' : -1, QString(digit)};
    }
    return {};
}

bool AutovalidationOn(const QString& autoVal)
{
    const auto number = ParseNumber(autoVal);
    return number && *number != 0;
}

bool IsControlId(const QString& sampleId, const QString& controlIdMask)
{
    for (const QString& mask : controlIdMask.split(u';', Qt::SkipEmptyParts)) {
        if (MatchesMask(sampleId, mask))
            return true;
    }
    return false;
}

StoragePath ChooseStoragePath(const QString& sampleId, const QString& controlIdMask, bool autovalidation)
{
    if (IsControlId(sampleId, controlIdMask))
        return StoragePath::Control;
    return autovalidation ? StoragePath::Validated : StoragePath::SessionTable;
}

HistoryColour ColourHistoryResult(const QString& caption, std::optional<double> lowCutoff)
{
    const double value = ParseNumber(caption).value_or(0);
    if (value < kRedBackgroundBelow)
        return {true, false};
    return {false, lowCutoff && value < *lowCutoff};
}

QString ParameterLogLine(qint16 parameter, const QString& longName)
{
    const QString number = parameter >= 0 ? u' ' + QString::number(parameter) : QString::number(parameter);
    return entrytexts::ParameterLine(number, longName);
}

} // namespace kestrin
