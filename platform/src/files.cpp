// The old file functions DDLoadPalette reads a palette file with: _lopen, _lread, _lclose over POSIX descriptors.
#include "platform/src/objects.h"

#include <cerrno>
#include <climits>
#include <cstdint>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Descriptors this layer opened stand among the live objects; any other number is a bad handle here, so a stale or
// stray HFILE can never read or close a descriptor that SDL or the C library owns. Shifted by one, so that
// descriptor 0 is not the null that stands for no object.
const void* FileKey(HFILE file) { return reinterpret_cast<const void*>(uintptr_t(unsigned(file)) + 1); }
bool IsOpen(HFILE file) { return file >= 0 && ObjectsHas(ObjectKind::File, FileKey(file)); }

}  // namespace

// Only reading is offered: the program opens files with OF_READ and nothing else. A directory
// cannot be opened, as on Windows.
HFILE WINAPI _lopen(LPCSTR path, int mode) {
    if (path == nullptr || mode != OF_READ) return HFILE_ERROR;
    int fd;
    do {
        fd = open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return HFILE_ERROR;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return HFILE_ERROR;
    }
    ObjectsAdd(ObjectKind::File, FileKey(fd));
    return HFILE(fd);
}

// Reads until `bytes` have arrived or the file ends, so a short count means the end of the file.
UINT WINAPI _lread(HFILE file, LPVOID buffer, UINT bytes) {
    if (!IsOpen(file) || (buffer == nullptr && bytes != 0)) return UINT(HFILE_ERROR);
    // The largest count that cannot be mistaken for HFILE_ERROR.
    if (bytes > UINT(HFILE_ERROR) - 1) bytes = UINT(HFILE_ERROR) - 1;
    UINT total = 0;
    while (total < bytes) {
        const size_t want = bytes - total < UINT(INT_MAX) ? bytes - total : UINT(INT_MAX);
        const ssize_t got = read(file, static_cast<char*>(buffer) + total, want);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return UINT(HFILE_ERROR);
        if (got == 0) break;
        total += UINT(got);
    }
    return total;
}

HFILE WINAPI _lclose(HFILE file) {
    if (!IsOpen(file)) return HFILE_ERROR;
    ObjectsRemove(ObjectKind::File, FileKey(file));
    // POSIX leaves the descriptor closed even when close reports EINTR, so it is not retried.
    return close(file) == 0 || errno == EINTR ? 0 : HFILE_ERROR;
}
