// A VFS for crash tests of a store file's writer. Only built with SQLite.
#ifndef TESTS_HOST_KILLING_VFS_H
#define TESTS_HOST_KILLING_VFS_H

#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

// The default VFS with a countdown: the process kills itself at the Nth write, sync or truncation
// of a file, or deletion of one, so that a writer can be stopped at each point where it changes
// what is on disk.
namespace killing {

inline sqlite3_vfs* base = nullptr;
inline int countdown = 0;

inline void step() {
    if (--countdown == 0) ::kill(::getpid(), SIGKILL);
}
// The default VFS's file lies right after the one SQLite sees.
inline sqlite3_file* real(sqlite3_file* file) {
    return reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + sizeof(sqlite3_file));
}
#define FORWARD(method) \
    [](sqlite3_file* f, auto... a) { return real(f)->pMethods->method(real(f), a...); }
#define COUNTED(method)                                  \
    [](sqlite3_file* f, auto... a) {                     \
        step();                                          \
        return real(f)->pMethods->method(real(f), a...); \
    }
// clang-format off
inline const sqlite3_io_methods methods = {
    2, FORWARD(xClose), FORWARD(xRead), COUNTED(xWrite), COUNTED(xTruncate), COUNTED(xSync),
    FORWARD(xFileSize), FORWARD(xLock), FORWARD(xUnlock), FORWARD(xCheckReservedLock),
    FORWARD(xFileControl), FORWARD(xSectorSize), FORWARD(xDeviceCharacteristics),
    FORWARD(xShmMap), FORWARD(xShmLock), FORWARD(xShmBarrier), FORWARD(xShmUnmap), nullptr,
    nullptr};
// clang-format on
#undef FORWARD
#undef COUNTED

// Makes the counting VFS the default, to kill at the `n`th change.
inline void arm(int n) {
    static sqlite3_vfs vfs;
    base = sqlite3_vfs_find(nullptr);
    vfs = *base;
    vfs.zName = "killing";
    vfs.szOsFile = static_cast<int>(sizeof(sqlite3_file)) + base->szOsFile;
    vfs.xOpen = [](sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* out) {
        const int rc = base->xOpen(base, name, real(file), flags, out);
        file->pMethods = real(file)->pMethods ? &methods : nullptr;
        return rc;
    };
    vfs.xDelete = [](sqlite3_vfs*, const char* name, int sync) {
        step();
        return base->xDelete(base, name, sync);
    };
    countdown = n;
    sqlite3_vfs_register(&vfs, 1);
}

}  // namespace killing

#endif  // TESTS_HOST_KILLING_VFS_H
