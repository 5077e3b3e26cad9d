#include "app/cli/ListSave.h"

#include <ostream>

#include "app/cli/ItemFileLoad.h"
#include "app/cli/JsonCells.h"
#include "app/cli/SequoraRun.h"
#include "app/core/CfgWriter.h"
#include "app/core/ItemList.h"
#include "app/core/PartlyReadFiles.h"

namespace sequora::cli {

int ListItems(const std::string& cfgPath, std::ostream& out, std::ostream& err) {
    ItemList list;
    const LoadOutcome loaded = LoadItemFile(cfgPath, list, err);
    if (loaded == LoadOutcome::Unreadable) return kExitBadUsage;
    // One row at a time: a copy of a long list would cost many times its packed size.
    for (int row = 0; row < list.RowCount(); ++row) out << JsonStringArray(list.Row(row)) << '\n';
    out.flush();
    return loaded == LoadOutcome::Partial ? kExitReadInPart : kExitDone;
}

int SaveItems(const std::string& outPath, const std::string& cfgPath, std::ostream& err) {
    ItemList list;
    const LoadOutcome loaded = LoadItemFile(cfgPath, list, err);
    if (loaded == LoadOutcome::Unreadable) return kExitBadUsage;
    if (loaded == LoadOutcome::Partial && SameFile(outPath, cfgPath)) {
        err << "sequora-run: " << SaveOverPartlyReadMessage(cfgPath) << '\n';
        return kExitReadInPart;
    }
    CfgWriter writer;
    if (!writer.Write(outPath, list)) {
        err << writer.ErrorMessage() << '\n';
        if (!writer.ErrorReason().empty()) {
            err << "sequora-run: cannot write " << outPath << ": " << writer.ErrorReason() << '\n';
        }
        return kExitBadUsage;
    }
    return loaded == LoadOutcome::Partial ? kExitReadInPart : kExitDone;
}

}  // namespace sequora::cli
