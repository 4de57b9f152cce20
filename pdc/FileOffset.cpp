#include "pdc/FileOffset.h"

namespace PdcFileOffset {

namespace {

#ifdef _WIN32
int64_t TellOf(FILE* file) {
    return _ftelli64(file);
}
bool Seek(FILE* file, int64_t offset, int origin) {
    return _fseeki64(file, offset, origin) == 0;
}
#else
int64_t TellOf(FILE* file) {
    return static_cast<int64_t>(ftello(file));
}
bool Seek(FILE* file, int64_t offset, int origin) {
    return fseeko(file, static_cast<off_t>(offset), origin) == 0;
}
#endif

}  // namespace

bool Tell(FILE* file, int64_t& position) {
    position = TellOf(file);
    return position >= 0;
}

bool BytesLeft(FILE* file, int64_t& left) {
    const int64_t here = TellOf(file);
    if (here < 0 || !Seek(file, 0, SEEK_END)) {
        return false;
    }
    const int64_t end = TellOf(file);
    if (!Seek(file, here, SEEK_SET) || end < here) {
        return false;
    }
    left = end - here;
    return true;
}

bool Skip(FILE* file, int64_t bytes) {
    return bytes >= 0 && Seek(file, bytes, SEEK_CUR);
}

bool SeekTo(FILE* file, int64_t position) {
    return position >= 0 && Seek(file, position, SEEK_SET);
}

}  // namespace PdcFileOffset
