#include "app/cli/ItemFileLoad.h"

#include <chrono>
#include <iostream>
#include <iterator>

#include "app/core/CfgSetup.h"

namespace sequora::cli {

namespace {

// The file name that stands for standard input.
const char kStandardInput[] = "-";

CfgLoadResult Load(const std::string& path, ItemList& list) {
    CfgSetup setup(list, std::chrono::milliseconds(0));
    if (path != kStandardInput) return setup.Load(path);
    const std::string text{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    if (std::cin.bad()) {
        CfgLoadResult unreadable;
        unreadable.reason = "standard input cannot be read";
        return unreadable;
    }
    return setup.LoadText(text);
}

}  // namespace

LoadOutcome LoadItemFile(const std::string& path, ItemList& list, std::ostream& err) {
    const CfgLoadResult result = Load(path, list);
    if (result.Whole()) return LoadOutcome::Whole;
    if (result.Partial()) {
        err << result.StopMessage(path) << '\n';
        return LoadOutcome::Partial;
    }
    err << "sequora-run: cannot read " << path << ": " << result.reason << '\n';
    return LoadOutcome::Unreadable;
}

}  // namespace sequora::cli
