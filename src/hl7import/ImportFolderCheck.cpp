#include "hl7import/ImportFolderCheck.h"

#include "hl7import/ImportFolder.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// A name of `bytes` bytes that no cycle takes for an order or a claim.
QByteArray probeName(qsizetype bytes, char last)
{
    QByteArray name = ".kestrin-check#";
    name.append(QByteArray(bytes - name.size() - 1, 'x'));
    return name + last;
}

FolderState filingFolder(const FolderHandle& import, const QString& path)
{
    const QString name = QFileInfo(QDir::cleanPath(path)).fileName();
    const bool existed = import.entry(name).has_value();
    const FolderHandle folder = FolderHandle::OpenOwn(import, name, true);
    FolderState state{false, {}};
    if (!folder.isOpen()) {
        state.description =
            (existed ? u"cannot take order files: "_s : u"is missing and cannot be made: "_s) + folder.problem();
    } else if (const QString problem = folder.tryClaim(probeName(32, 'a'), probeName(32, 'b')); !problem.isEmpty()) {
        state.description = u"exists but cannot be written: "_s + problem;
    } else {
        state = {true, existed ? u"exists"_s : u"will be created"_s};
    }
    if (!existed && folder.isOpen())
        import.removeFolder(name);
    return state;
}

} // namespace

QList<CheckedFolder> CheckImportFolders(const AppConfig& config)
{
    QList<CheckedFolder> rows{{u"ImportPath"_s, config.ImportPath, {}},
                              {u"ImportDonePath"_s, config.ImportDonePath, {}},
                              {u"ImportErrorPath"_s, config.ImportErrorPath, {}}};
    const QStringList made = MissingFolders(config.ImportPath);
    const auto notTried = [&](const QString& why) { rows[1].state = rows[2].state = {false, u"not tried: "_s + why}; };
    if (!made.isEmpty() && !QDir().mkpath(config.ImportPath)) {
        rows[0].state = {false,
                         u"is missing and cannot be created below %1"_s.arg(QFileInfo(made.first()).absolutePath())};
        notTried(u"the import folder cannot be made"_s);
    } else {
        const FolderHandle import = FolderHandle::Open(config.ImportPath);
        if (!import.isOpen()) {
            rows[0].state = {false, u"exists but cannot be listed: "_s + import.problem()};
            notTried(u"the import folder cannot be listed"_s);
        } else {
            // Claims are the longest names a cycle makes there.
            const QString claimProblem =
                import.tryClaim(probeName(MaxClaimNameBytes(), 'a'), probeName(MaxClaimNameBytes(), 'b'));
            rows[0].state = claimProblem.isEmpty()
                ? FolderState{true, made.isEmpty() ? u"exists"_s : u"will be created"_s}
                : FolderState{false, u"exists but no order file can be claimed in it: "_s + claimProblem};
            rows[1].state = filingFolder(import, config.ImportDonePath);
            rows[2].state = filingFolder(import, config.ImportErrorPath);
        }
    }
    for (auto folder = made.crbegin(); folder != made.crend(); ++folder)
        QDir().rmdir(*folder);
    return rows;
}

} // namespace kestrin
