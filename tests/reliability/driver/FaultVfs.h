// FaultVfs: an SQLite VFS around the system's default one that asks the FaultPlan before every
// file open, write, sync and truncate, and fails the call the plan names.
//
// Install() registers it as the default VFS; it must run before the engine opens its
// connection, because a connection keeps the VFS that was the default when it was opened.
// Failures are the ones a real disk gives: SQLITE_CANTOPEN, SQLITE_IOERR_WRITE / _FSYNC /
// _TRUNCATE, and SQLITE_FULL when the plan plays a full disk. The VFS lives for the process.
#pragma once

namespace reliability {

class FaultVfs {
  public:
    // Idempotent. False when SQLite has no default VFS to wrap.
    static bool Install();
};

}  // namespace reliability
