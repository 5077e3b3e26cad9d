#include "app/cli/ListSave.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <sys/stat.h>

#include "app/cli/JsonCells.h"
#include "app/core/CfgSetup.h"
#include "app/core/CfgWriter.h"
#include "app/core/ItemList.h"

namespace sequora::cli {

namespace {

// The loader says nothing about a file it cannot read, so the runner checks first; the
// reason is the system's text, empty when the file can be read.
std::string UnreadableReason(const std::string& path) {
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    const std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::strerror(errno);
    struct stat info {};
    if (::fstat(::fileno(file.get()), &info) != 0) return std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return std::strerror(EISDIR);
    return {};
}

bool LoadReadable(const std::string& cfgPath, ItemList& list, std::ostream& err) {
    if (const std::string reason = UnreadableReason(cfgPath); !reason.empty()) {
        err << "sequora-run: cannot read " << cfgPath << ": " << reason << '\n';
        return false;
    }
    CfgSetup(list, std::chrono::milliseconds(0)).Load(cfgPath);
    return true;
}

}  // namespace

int ListItems(const std::string& cfgPath, std::ostream& out, std::ostream& err) {
    ItemList list;
    if (!LoadReadable(cfgPath, list, err)) return 2;
    for (const ItemRow& row : list.Rows()) out << JsonStringArray(row) << '\n';
    out.flush();
    return 0;
}

int SaveItems(const std::string& outPath, const std::string& cfgPath, std::ostream& err) {
    ItemList list;
    if (!LoadReadable(cfgPath, list, err)) return 2;
    CfgWriter writer;
    if (!writer.Write(outPath, list)) {
        err << writer.ErrorMessage() << '\n';
        err << "sequora-run: cannot write " << outPath << ": " << writer.ErrorReason() << '\n';
        return 2;
    }
    return 0;
}

}  // namespace sequora::cli
