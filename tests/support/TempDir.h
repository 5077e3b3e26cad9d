#pragma once

#include <string>
#include <vector>

namespace testsupport {

/// A fresh directory under /tmp, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    /// The directory's path.
    const std::string& Path() const { return mPath; }
    /// The path of a file inside the directory.
    std::string File(const std::string& name) const { return mPath + "/" + name; }

private:
    std::string mPath;
};

/// The whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);
/// The file's lines without their line feeds; none when it cannot be read.
std::vector<std::string> ReadLines(const std::string& path);
/// Writes the bytes to the file, replacing it.
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace testsupport
