#include "app/cli/ItemFileLoad.h"

#include <chrono>
#include <ostream>

#include "app/core/CfgSetup.h"

namespace sequora::cli {

LoadOutcome LoadItemFile(const std::string& path, ItemList& list, std::ostream& err) {
    const CfgLoadResult result = CfgSetup(list, std::chrono::milliseconds(0)).Load(path);
    if (result.Whole()) return LoadOutcome::kWhole;
    if (result.Partial()) {
        err << result.StopMessage(path) << '\n';
        return LoadOutcome::kPartial;
    }
    err << "sequora-run: cannot read " << path << ": " << result.reason << '\n';
    return LoadOutcome::kUnreadable;
}

}  // namespace sequora::cli
