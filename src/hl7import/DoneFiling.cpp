#include "DoneFiling.h"

#include "core/Error.h"
#include "hl7import/ImportFolder.h"

#include <system_error>

using namespace Qt::StringLiterals;

namespace kestrin {

QString FilingProblem(const QString& claimPath, const QString& folder, const QString& fileName)
{
    try {
        if (FileInto(claimPath, folder, fileName))
            return {};
        return u"1000 files of that name are in it already"_s;
    } catch (const FileError&) {
        // Without the file's own name, so that a folder's trouble is said once, not once per file.
        return u"it cannot be written"_s;
    }
}

DoneFiling::~DoneFiling()
{
    if (m_filing.valid())
        m_filing.wait();
}

DoneFiling::Problems DoneFiling::start(const QString& folder, std::vector<File> files)
{
    Problems before = finish();
    auto fileAll = [folder, files = std::move(files)] {
        Problems problems;
        problems.reserve(files.size());
        for (const File& file : files)
            problems.push_back(FilingProblem(file.claimPath, folder, file.name));
        return problems;
    };
    try {
        m_filing = std::async(std::launch::async, fileAll);
    } catch (const std::system_error&) {
        // No thread to be had: filed here and now, as before.
        std::promise<Problems> filed;
        filed.set_value(fileAll());
        m_filing = filed.get_future();
    }
    return before;
}

DoneFiling::Problems DoneFiling::finish() { return m_filing.valid() ? m_filing.get() : Problems{}; }

} // namespace kestrin
