// Load, save, load: whenever the first load read the whole input and the writer accepts
// the rows, the second load gives the same rows; when the writer refuses a row, the row
// really would not have read back.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "app/core/CfgSetup.h"
#include "app/core/CfgWriter.h"
#include "app/core/ItemList.h"

namespace {

constexpr std::size_t kMaxInput = 1 << 20;

std::vector<sequora::ItemRow> Load(std::string_view text, bool& whole) {
    sequora::ItemList list;
    whole = sequora::CfgSetup(list, std::chrono::milliseconds(0)).LoadText(text).Whole();
    return list.Rows();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxInput) return 0;
    bool whole = false;
    const std::vector<sequora::ItemRow> rows =
        Load(std::string_view(reinterpret_cast<const char*>(data), size), whole);
    if (!whole) return 0;

    const std::string saved = sequora::CfgWriter::FormatText(rows);
    bool savedWhole = false;
    const std::vector<sequora::ItemRow> again = Load(saved, savedWhole);
    if (const auto refusal = sequora::CfgWriter::FindRefusedRow(rows)) {
        // A whole load only gives rows that read back, unless variables made a line too long.
        if (!refusal->tooLong) std::abort();
        if (savedWhole && again == rows) std::abort();
        return 0;
    }
    if (!savedWhole || again != rows) std::abort();
    return 0;
}
