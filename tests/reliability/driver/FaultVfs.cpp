#include "FaultVfs.h"

#include <sqlite3.h>

#include "FaultPlan.h"

namespace reliability {
namespace {

sqlite3_vfs* base = nullptr;

// The wrapper's file: SQLite allocates szOsFile bytes, the real file follows this header.
struct FaultFile {
    sqlite3_file header;
    sqlite3_file* real;
};

sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<FaultFile*>(file)->real; }

bool Fails(IoKind kind, bool writes) { return FaultPlan::Instance().Fails(kind, writes); }

int Close(sqlite3_file* file) {
    sqlite3_file* real = Real(file);
    return real->pMethods ? real->pMethods->xClose(real) : SQLITE_OK;
}
int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
    return Real(file)->pMethods->xRead(Real(file), buffer, amount, offset);
}
int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
    if (Fails(IoKind::Write, true))
        return FaultPlan::Instance().DiskFull() ? SQLITE_FULL : SQLITE_IOERR_WRITE;
    return Real(file)->pMethods->xWrite(Real(file), buffer, amount, offset);
}
int Truncate(sqlite3_file* file, sqlite3_int64 size) {
    if (Fails(IoKind::Truncate, false)) return SQLITE_IOERR_TRUNCATE;
    return Real(file)->pMethods->xTruncate(Real(file), size);
}
int Sync(sqlite3_file* file, int flags) {
    if (Fails(IoKind::Sync, false)) return SQLITE_IOERR_FSYNC;
    return Real(file)->pMethods->xSync(Real(file), flags);
}
int FileSize(sqlite3_file* file, sqlite3_int64* size) {
    return Real(file)->pMethods->xFileSize(Real(file), size);
}
int Lock(sqlite3_file* file, int level) { return Real(file)->pMethods->xLock(Real(file), level); }
int Unlock(sqlite3_file* file, int level) {
    return Real(file)->pMethods->xUnlock(Real(file), level);
}
int CheckReservedLock(sqlite3_file* file, int* out) {
    return Real(file)->pMethods->xCheckReservedLock(Real(file), out);
}
int FileControl(sqlite3_file* file, int op, void* arg) {
    return Real(file)->pMethods->xFileControl(Real(file), op, arg);
}
int SectorSize(sqlite3_file* file) { return Real(file)->pMethods->xSectorSize(Real(file)); }
int DeviceCharacteristics(sqlite3_file* file) {
    return Real(file)->pMethods->xDeviceCharacteristics(Real(file));
}
int ShmMap(sqlite3_file* file, int page, int size, int extend, void volatile** out) {
    return Real(file)->pMethods->xShmMap(Real(file), page, size, extend, out);
}
int ShmLock(sqlite3_file* file, int offset, int n, int flags) {
    return Real(file)->pMethods->xShmLock(Real(file), offset, n, flags);
}
void ShmBarrier(sqlite3_file* file) { Real(file)->pMethods->xShmBarrier(Real(file)); }
int ShmUnmap(sqlite3_file* file, int deleteFlag) {
    return Real(file)->pMethods->xShmUnmap(Real(file), deleteFlag);
}
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
    return Real(file)->pMethods->xFetch(Real(file), offset, amount, out);
}
int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
    return Real(file)->pMethods->xUnfetch(Real(file), offset, page);
}

const sqlite3_io_methods kMethods = {
    3,
    &Close,
    &Read,
    &Write,
    &Truncate,
    &Sync,
    &FileSize,
    &Lock,
    &Unlock,
    &CheckReservedLock,
    &FileControl,
    &SectorSize,
    &DeviceCharacteristics,
    &ShmMap,
    &ShmLock,
    &ShmBarrier,
    &ShmUnmap,
    &Fetch,
    &Unfetch,
};

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    auto* wrapper = reinterpret_cast<FaultFile*>(file);
    wrapper->header.pMethods = nullptr;
    wrapper->real = reinterpret_cast<sqlite3_file*>(wrapper + 1);
    wrapper->real->pMethods = nullptr;
    // Opening creates a file (or a journal) when it is missing: that takes disk space.
    if (Fails(IoKind::Open, (flags & SQLITE_OPEN_CREATE) != 0))
        return FaultPlan::Instance().DiskFull() ? SQLITE_FULL : SQLITE_CANTOPEN;
    const int rc = base->xOpen(base, name, wrapper->real, flags, outFlags);
    if (wrapper->real->pMethods != nullptr) wrapper->header.pMethods = &kMethods;
    return rc;
}

int Delete(sqlite3_vfs*, const char* name, int syncDir) {
    return base->xDelete(base, name, syncDir);
}
int Access(sqlite3_vfs*, const char* name, int flags, int* out) {
    return base->xAccess(base, name, flags, out);
}
int FullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
    return base->xFullPathname(base, name, size, out);
}
void* DlOpen(sqlite3_vfs*, const char* name) { return base->xDlOpen(base, name); }
void DlError(sqlite3_vfs*, int size, char* out) { base->xDlError(base, size, out); }
void (*DlSym(sqlite3_vfs*, void* handle, const char* symbol))(void) {
    return base->xDlSym(base, handle, symbol);
}
void DlClose(sqlite3_vfs*, void* handle) { base->xDlClose(base, handle); }
int Randomness(sqlite3_vfs*, int size, char* out) { return base->xRandomness(base, size, out); }
int Sleep(sqlite3_vfs*, int microseconds) { return base->xSleep(base, microseconds); }
int CurrentTime(sqlite3_vfs*, double* out) { return base->xCurrentTime(base, out); }
int GetLastError(sqlite3_vfs*, int size, char* out) {
    return base->xGetLastError ? base->xGetLastError(base, size, out) : 0;
}
int CurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
    return base->xCurrentTimeInt64(base, out);
}

sqlite3_vfs vfs;

}  // namespace

bool FaultVfs::Install() {
    if (base != nullptr) return true;
    sqlite3_initialize();
    base = sqlite3_vfs_find(nullptr);
    if (base == nullptr) return false;
    vfs = sqlite3_vfs{};
    vfs.iVersion = 2;
    vfs.szOsFile = static_cast<int>(sizeof(FaultFile)) + base->szOsFile;
    vfs.mxPathname = base->mxPathname;
    vfs.zName = "sonavoxa-fault";
    vfs.xOpen = &Open;
    vfs.xDelete = &Delete;
    vfs.xAccess = &Access;
    vfs.xFullPathname = &FullPathname;
    vfs.xDlOpen = &DlOpen;
    vfs.xDlError = &DlError;
    vfs.xDlSym = &DlSym;
    vfs.xDlClose = &DlClose;
    vfs.xRandomness = &Randomness;
    vfs.xSleep = &Sleep;
    vfs.xCurrentTime = &CurrentTime;
    vfs.xGetLastError = &GetLastError;
    vfs.xCurrentTimeInt64 = &CurrentTimeInt64;
    return sqlite3_vfs_register(&vfs, 1) == SQLITE_OK;
}

}  // namespace reliability
