#include "tools/ply/PlyWords.h"

#include <cstring>

#include "pdc/FileOffset.h"

namespace VelpoTools {

namespace {

// The blanks of the whole-file reader's cursor.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace

bool CPlyWordReader::Start(int64_t at) {
    buffer_.reserve(PieceBytes + MaxWordBytes);
    position_ = at;
    begin_ = end_ = 0;
    endOfFile_ = false;
    return PdcFileOffset::SeekTo(file_, at);
}

bool CPlyWordReader::Next(std::string_view& word) {
    while (begin_ == end_ || IsBlank(buffer_[begin_])) {
        if (begin_ < end_) {
            ++begin_;
            ++position_;
        } else if (!Fill()) {
            return false;
        } else if (begin_ == end_) {
            word = std::string_view();
            return true;
        }
    }
    size_t end = begin_;
    for (;;) {
        while (end < end_ && !IsBlank(buffer_[end])) {
            ++end;
        }
        if (end < end_ || endOfFile_) {
            break;
        }
        const size_t kept = end - begin_;
        if (kept > MaxWordBytes || !Fill()) {
            return false;
        }
        end = begin_ + kept;
    }
    word = std::string_view(buffer_.data() + begin_, end - begin_);
    position_ += static_cast<int64_t>(end - begin_);
    begin_ = end;
    return true;
}

// Keeps the bytes not taken yet at the front and reads a piece after them.
bool CPlyWordReader::Fill() {
    if (endOfFile_) {
        return true;
    }
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    buffer_.resize(end_ + PieceBytes);
    const size_t got = std::fread(buffer_.data() + end_, 1, PieceBytes, file_);
    end_ += got;
    endOfFile_ = got < PieceBytes;
    return !std::ferror(file_);
}

}  // namespace VelpoTools
