// Feeds arbitrary bytes to the .cfg loader as a file and checks that the rows it builds
// keep the shape every reader of the list relies on.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "app/core/CfgSetup.h"
#include "app/core/ItemList.h"

namespace {

// One file per process, reused for every input.
const std::string& InputPath() {
    static const std::string path = [] {
        char name[] = "/tmp/fuzz_command_file_XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd < 0) std::abort();
        ::close(fd);
        return std::string(name);
    }();
    return path;
}

struct RemoveAtExit {
    ~RemoveAtExit() { std::remove(InputPath().c_str()); }
} gRemoveAtExit;

void WriteInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(InputPath().c_str(), "wb");
    if (!file) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    if (std::fclose(file) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WriteInput(data, size);
    sequora::ItemList list;
    sequora::CfgSetup(list, std::chrono::milliseconds(0)).Load(InputPath());

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
