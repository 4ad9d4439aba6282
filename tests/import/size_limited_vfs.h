// A full disk without mounting anything: an SQLite file-system layer over
// the platform's default one that refuses every write taking the main
// database file, or its rollback journal, past a set size, with SQLITE_FULL
// as the engine's own layer answers a full disk. While the object lives it is
// the default layer, so every connection the code under test opens uses it.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <stdexcept>

namespace efi::import::testing {

class SizeLimitedVfs {
 public:
  enum class Kind { database, journal, other };

  SizeLimitedVfs() : real_(sqlite3_vfs_find(nullptr)) {
    if (real_ == nullptr) throw std::runtime_error("test: no default SQLite file-system layer");
    vfs_.iVersion = 2;
    vfs_.szOsFile = static_cast<int>(sizeof(File)) + real_->szOsFile;
    vfs_.mxPathname = real_->mxPathname;
    vfs_.zName = "efi-size-limited";
    vfs_.pAppData = this;
    vfs_.xOpen = &open;
    vfs_.xDelete = [](sqlite3_vfs* v, const char* name, int sync) {
      return real(v)->xDelete(real(v), name, sync);
    };
    vfs_.xAccess = [](sqlite3_vfs* v, const char* name, int flags, int* out) {
      return real(v)->xAccess(real(v), name, flags, out);
    };
    vfs_.xFullPathname = [](sqlite3_vfs* v, const char* name, int n, char* out) {
      return real(v)->xFullPathname(real(v), name, n, out);
    };
    vfs_.xDlOpen = [](sqlite3_vfs* v, const char* name) { return real(v)->xDlOpen(real(v), name); };
    vfs_.xDlError = [](sqlite3_vfs* v, int n, char* out) { real(v)->xDlError(real(v), n, out); };
    vfs_.xDlSym = [](sqlite3_vfs* v, void* lib, const char* name) {
      return real(v)->xDlSym(real(v), lib, name);
    };
    vfs_.xDlClose = [](sqlite3_vfs* v, void* lib) { real(v)->xDlClose(real(v), lib); };
    vfs_.xRandomness = [](sqlite3_vfs* v, int n, char* out) { return real(v)->xRandomness(real(v), n, out); };
    vfs_.xSleep = [](sqlite3_vfs* v, int us) { return real(v)->xSleep(real(v), us); };
    vfs_.xCurrentTime = [](sqlite3_vfs* v, double* out) { return real(v)->xCurrentTime(real(v), out); };
    vfs_.xGetLastError = [](sqlite3_vfs* v, int n, char* out) {
      return real(v)->xGetLastError(real(v), n, out);
    };
    vfs_.xCurrentTimeInt64 = [](sqlite3_vfs* v, sqlite3_int64* out) {
      return real(v)->xCurrentTimeInt64(real(v), out);
    };
    if (sqlite3_vfs_register(&vfs_, 1) != SQLITE_OK)
      throw std::runtime_error("test: cannot register the layer");
  }
  ~SizeLimitedVfs() {
    sqlite3_vfs_unregister(&vfs_);
    sqlite3_vfs_register(real_, 1);  // the default again
  }
  SizeLimitedVfs(const SizeLimitedVfs&) = delete;
  SizeLimitedVfs& operator=(const SizeLimitedVfs&) = delete;

  // Files of `kind` may grow to `bytes` and no further; nullopt lifts the limit.
  void limit(Kind kind, std::optional<std::uint64_t> bytes) { limits_[index(kind)] = bytes; }
  // Writes refused so far to files of `kind`.
  int refusals(Kind kind) const { return refusals_[index(kind)]; }

 private:
  // One open file: this header, then the default layer's file in the same block.
  struct File {
    sqlite3_file base;      // pMethods: io_methods
    sqlite3_file* real;     // the default layer's file, right after this header
    SizeLimitedVfs* owner;  // whose limits apply
    Kind kind;              // what the engine opened it as
  };
  static_assert(sizeof(File) % 8 == 0, "the default layer's file must stay aligned");

  static std::size_t index(Kind kind) { return static_cast<std::size_t>(kind); }
  static sqlite3_vfs* real(sqlite3_vfs* v) { return static_cast<SizeLimitedVfs*>(v->pAppData)->real_; }
  static File& file(sqlite3_file* f) { return *reinterpret_cast<File*>(f); }
  static sqlite3_file* inner(sqlite3_file* f) { return file(f).real; }

  static int open(sqlite3_vfs* v, sqlite3_filename name, sqlite3_file* f, int flags, int* out_flags) {
    File& self = file(f);
    self.real = reinterpret_cast<sqlite3_file*>(&self + 1);
    self.owner = static_cast<SizeLimitedVfs*>(v->pAppData);
    self.kind = (flags & SQLITE_OPEN_MAIN_DB)        ? Kind::database
                : (flags & SQLITE_OPEN_MAIN_JOURNAL) ? Kind::journal
                                                     : Kind::other;
    const int rc = real(v)->xOpen(real(v), name, self.real, flags, out_flags);
    // The engine closes a file whose methods are set, even after a failure.
    self.base.pMethods = self.real->pMethods != nullptr ? &io_methods : nullptr;
    return rc;
  }

  static int write(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
    File& self = file(f);
    const std::optional<std::uint64_t>& limit = self.owner->limits_[index(self.kind)];
    if (limit && static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(amount) > *limit) {
      ++self.owner->refusals_[index(self.kind)];
      return SQLITE_FULL;
    }
    return inner(f)->pMethods->xWrite(inner(f), data, amount, offset);
  }

  // Version 1: no shared memory and no memory mapping, which a rollback
  // journal in exclusive locking mode does not use.
  static constexpr sqlite3_io_methods io_methods = {
      1,
      [](sqlite3_file* f) { return inner(f)->pMethods->xClose(inner(f)); },
      [](sqlite3_file* f, void* out, int n, sqlite3_int64 at) {
        return inner(f)->pMethods->xRead(inner(f), out, n, at);
      },
      &write,
      [](sqlite3_file* f, sqlite3_int64 size) { return inner(f)->pMethods->xTruncate(inner(f), size); },
      [](sqlite3_file* f, int flags) { return inner(f)->pMethods->xSync(inner(f), flags); },
      [](sqlite3_file* f, sqlite3_int64* out) { return inner(f)->pMethods->xFileSize(inner(f), out); },
      [](sqlite3_file* f, int lock) { return inner(f)->pMethods->xLock(inner(f), lock); },
      [](sqlite3_file* f, int lock) { return inner(f)->pMethods->xUnlock(inner(f), lock); },
      [](sqlite3_file* f, int* out) { return inner(f)->pMethods->xCheckReservedLock(inner(f), out); },
      [](sqlite3_file* f, int op, void* arg) { return inner(f)->pMethods->xFileControl(inner(f), op, arg); },
      [](sqlite3_file* f) { return inner(f)->pMethods->xSectorSize(inner(f)); },
      [](sqlite3_file* f) { return inner(f)->pMethods->xDeviceCharacteristics(inner(f)); },
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
      nullptr,
  };

  sqlite3_vfs* real_;                       // the platform's default layer
  sqlite3_vfs vfs_{};                       // this layer, registered as the default
  std::optional<std::uint64_t> limits_[3];  // per Kind: the size files may reach; none: no limit
  int refusals_[3] = {0, 0, 0};             // per Kind: writes refused
};

}  // namespace efi::import::testing
