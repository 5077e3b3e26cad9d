#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cmdfile {

/// Reads a command file line by line: sorts each line into a kind, cuts comments off
/// command lines, keeps the variables the file defines and substitutes them into later
/// command lines, and hands on the lines of the kinds switched on for delivery. When
/// reading ends it can say where and why (StopInfo()).
/// Threads: used by one thread at a time; holds no lock.
class FormatCmdLine {
public:
    /// The kinds a line can have, besides malformed (which ends the reading).
    enum class LineKind { Command, Comment, Variable, Blank };

    /// Why reading ended, or None while it goes on.
    enum class StopReason {
        None,                 ///< reading goes on
        NoInput,              ///< nothing is open (never opened, or the open failed)
        EndOfInput,           ///< every line was read: the whole input
        ReadError,            ///< the system could not read on (detail: its reason)
        LineTooLong,          ///< a line longer than kMaxLineLength characters
        Malformed,            ///< a line that is not a command, comment, variable or blank line
        StrayCarriageReturn,  ///< a malformed line beginning with a CR that ends no line
        TooFewWords,          ///< a variable line with fewer than three words
        UnknownOperator,      ///< a variable line whose operator is none of the five
        UndefinedVariable,    ///< a variable used before it was defined (detail: its name)
        DivisionByZero,       ///< "/=" by 0
        QuotientOverflow,     ///< the smallest 32-bit integer "/=" -1
        SubstitutionTooLong,  ///< variables make a command line longer than kMaxSubstitutedLength
        SubstitutionEndless,  ///< more than kMaxSubstitutedLength replacements of one variable
    };

    /// Where and why reading ended.
    struct Stop {
        StopReason reason = StopReason::NoInput;
        /// The number of the line reading stopped at, counting from 1; for EndOfInput the
        /// number of lines read.
        std::size_t line = 0;
        /// The variable's name (UndefinedVariable) or the system's reason (ReadError).
        std::string detail;

        /// True when every line of the input was read.
        bool WholeInput() const { return reason == StopReason::EndOfInput; }
        /// Why, as a clause for the user: "the line is longer than 999 characters".
        std::string Describe() const;
    };

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
    /// Closes any input opened before, opens `path` for reading and empties the variable
    /// table; 0 on success, -1 when the file cannot be opened (OpenError() says why). A
    /// directory cannot be opened.
    int OpenFile(const std::string& path);
    /// As OpenFile, but reads the lines from `text` (copied) instead of a file; always 0.
    int OpenText(std::string_view text);
    /// The system's reason why the last OpenFile failed, else empty.
    const std::string& OpenError() const { return mOpenError; }

    /// The next line of a delivered kind, processed, in `line`; 0 on success, -1 once
    /// reading has ended: at the end of the input, with nothing open, for a line too long,
    /// a malformed or a faulty variable line. StopInfo() then says which.
    int GetNextLine(std::string& line);
    /// Where and why reading ended; reason None while it goes on.
    const Stop& StopInfo() const { return mStop; }

    /// The physical lines read so far.
    std::size_t LinesRead() const { return mLinesRead; }
    /// The bytes of the input consumed so far.
    std::uint64_t BytesRead() const { return mBytesBeforeBuffer + mBufferPos; }
    /// The size of the input when it was opened (0 for an input whose size is unknown).
    std::uint64_t InputBytes() const { return mInputBytes; }
    /// The variables defined so far, in the order of their first definition.
    const std::vector<std::pair<std::string, std::string>>& Variables() const { return mVariables; }

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    enum class ReadResult { Line, End, TooLong, Error };

    void Reset();
    ReadResult ReadPhysicalLine(std::string& line);
    bool FillBuffer();
    StopReason ProcessCommandLine(std::string& line) const;
    StopReason ProcessVariableLine(const std::string& line);
    bool Delivers(LineKind kind) const;
    int End(StopReason reason, std::string detail = {});

    // Every member is used by the reading thread only.
    std::unique_ptr<std::FILE, FileCloser> mFile;  // the open file; null for text input
    bool mOpen = false;                            // a file or a text is open
    std::vector<char> mBuffer;                     // the text, or a window into the file
    std::size_t mBufferPos = 0;
    std::size_t mBufferEnd = 0;
    std::uint64_t mBytesBeforeBuffer = 0;  // input bytes that came before mBuffer's first
    std::uint64_t mInputBytes = 0;
    bool mAtEnd = false;
    int mReadErrno = 0;          // errno of a failed read, 0 at a plain end of file
    std::size_t mLinesRead = 0;  // physical lines read so far
    std::string mPhysical;       // the line being processed; kept for its capacity
    std::string mUndefinedName;  // the variable named by a UndefinedVariable line
    Stop mStop;
    std::string mOpenError;
    bool mDelivery[4] = {false, false, false, false};
    std::vector<std::pair<std::string, std::string>> mVariables;
};

}  // namespace cmdfile
