#include "app/cli/JournalReport.h"

#include "app/cli/SequoraRun.h"
#include "app/core/TimingSummary.h"

namespace sequora::cli {

int ReportJournal(const std::string& path, std::ostream& out, std::ostream& err) {
    const SavedJournal journal = ReadSavedJournal(path);
    if (!journal.readable) {
        err << "sequora-run: cannot read " << path << ": " << journal.problem << '\n';
        return kExitBadUsage;
    }
    out << TimingLine(journal.timing) << '\n' << std::flush;
    if (journal.whole) return kExitDone;
    err << "sequora-run: the journal " << path << " is cut short: " << journal.problem << '\n';
    return kExitReadInPart;
}

}  // namespace sequora::cli
