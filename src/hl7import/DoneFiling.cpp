#include "DoneFiling.h"

#include <system_error>

namespace kestrin {

DoneFiling::~DoneFiling()
{
    if (m_filing.valid())
        m_filing.wait();
}

DoneFiling::Outcomes DoneFiling::start(const FolderHandle& from, const FolderHandle& to, std::vector<File> files)
{
    Outcomes before = finish();
    auto fileAll = [&from, &to, files = std::move(files)] {
        Outcomes outcomes;
        outcomes.reserve(files.size());
        for (const File& file : files)
            outcomes.push_back(FileInto(from, file.claimName, to, file.name));
        return outcomes;
    };
    try {
        m_filing = std::async(std::launch::async, fileAll);
    } catch (const std::system_error&) {
        // No thread to be had: filed here and now, as before.
        std::promise<Outcomes> filed;
        filed.set_value(fileAll());
        m_filing = filed.get_future();
    }
    return before;
}

DoneFiling::Outcomes DoneFiling::finish() { return m_filing.valid() ? m_filing.get() : Outcomes{}; }

} // namespace kestrin
