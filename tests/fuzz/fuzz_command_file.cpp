// Feeds arbitrary bytes (up to 1 MiB) to the .cfg loader and checks that the rows it builds
// keep the shape every reader of the list relies on, and that its account of where it
// stopped fits the input.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/core/CfgSetup.h"
#include "app/core/ItemList.h"

namespace {

constexpr std::size_t kMaxInput = 1 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInput) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    sequora::ItemList list;
    sequora::CfgSetup setup(list, std::chrono::milliseconds(0));
    const sequora::CfgLoadResult result = setup.LoadText(text);

    if (result.end != sequora::CfgLoadResult::End::Whole &&
        result.end != sequora::CfgLoadResult::End::Stopped) {
        std::abort();
    }
    if (result.itemsLoaded != list.RowCount()) std::abort();
    // Lines are counted by their line feeds, and a last line may lack one.
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    if (result.line > lines) std::abort();
    if (result.Whole() != result.reason.empty()) std::abort();
    if (result.Whole() && setup.BytesRead() != size) std::abort();

    for (int row = 0; row < list.RowCount(); ++row) {
        if (list.CellText(row, sequora::kColNumber) != std::to_string(row + 1)) std::abort();
        for (int column : {sequora::kColSendEvent, sequora::kColSetBit, sequora::kColSendCommand}) {
            const std::string flag = list.CellText(row, column);
            if (flag != "Yes" && flag != "No") std::abort();
        }
        const std::string state = list.CellText(row, sequora::kColBitState);
        if (state != "On" && state != "Off" && state != "NA") std::abort();
    }
    return 0;
}
