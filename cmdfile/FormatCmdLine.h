#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace cmdfile {

/// Reads a command file line by line: sorts each line into a kind, cuts comments off
/// command lines, keeps the variables the file defines and substitutes them into later
/// command lines, and hands on the lines of the kinds switched on for delivery.
/// Used by one thread at a time.
class FormatCmdLine {
public:
    /// The kinds a line can have, besides malformed (which ends the reading).
    enum class LineKind { Command, Comment, Variable, Blank };

    /// The longest line, in characters without its line end, that can be read.
    static constexpr std::size_t kMaxLineLength = 999;
    /// The longest command line that variable substitution may produce, and the most
    /// replacements of one variable in one line; more ends the reading, so that chained
    /// variables can neither grow a line without bound nor rewrite it without end.
    static constexpr std::size_t kMaxSubstitutedLength = 64 * 1024;

    FormatCmdLine();
    ~FormatCmdLine();
    FormatCmdLine(const FormatCmdLine&) = delete;
    FormatCmdLine& operator=(const FormatCmdLine&) = delete;

    /// Switches delivery of one line kind on or off (all are off at construction).
    void SetDelivery(LineKind kind, bool on);
    /// Closes any file opened before, opens `path` for reading and empties the variable
    /// table; 0 on success, -1 when the file cannot be opened.
    int OpenFile(const std::string& path);
    /// The next line of a delivered kind, processed, in `line`; 0 on success, -1 at end of
    /// file, with no file open, for a line too long, a malformed or a faulty variable line.
    int GetNextLine(std::string& line);
    /// The variables defined so far, in the order of their first definition.
    const std::vector<std::pair<std::string, std::string>>& Variables() const { return mVariables; }

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    enum class ReadResult { Line, End, TooLong };

    ReadResult ReadPhysicalLine(std::string& line);
    bool FillBuffer();
    bool ProcessCommandLine(std::string& line) const;
    bool ProcessVariableLine(const std::string& line);
    bool Delivers(LineKind kind) const;
    int Stop();

    std::unique_ptr<std::FILE, FileCloser> mFile;
    std::vector<char> mBuffer;
    std::size_t mBufferPos = 0;
    std::size_t mBufferEnd = 0;
    bool mAtEnd = false;
    bool mDelivery[4] = {false, false, false, false};
    std::vector<std::pair<std::string, std::string>> mVariables;
};

}  // namespace cmdfile
