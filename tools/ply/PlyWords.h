// The words of an ASCII PLY file read a piece at a time, for a reader that
// streams its rows: the words the whole-file reader's cursor gives
// (tools/ply/PlyCursor.h), in at most PieceBytes + MaxWordBytes of memory.
//
// The reader reads its stream at the positions it moves to; nothing else
// may move the stream meanwhile. One thread uses a reader at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace VelpoTools {

class CPlyWordReader {
public:
    static constexpr size_t PieceBytes = 512 * 1024;
    static constexpr size_t MaxWordBytes = 512 * 1024;

    explicit CPlyWordReader(std::FILE* file) : file_(file) {}

    // Goes to byte `at` of the file. False when the stream cannot seek.
    bool Start(int64_t at);

    // The next word past blanks and line ends, valid until the next call;
    // empty at the end of the file. False on a read error or a word longer
    // than MaxWordBytes, which no number is.
    bool Next(std::string_view& word);

    // The file offset after the last word taken.
    int64_t Position() const { return position_; }

private:
    bool Fill();

    std::FILE* file_;
    std::string buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    bool endOfFile_ = false;
    int64_t position_ = 0;
};

}  // namespace VelpoTools
