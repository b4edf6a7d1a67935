// Doubles of the two interfaces of the file-changing path that do the real
// work (PosixFiles, and SystemPlatform without the root-only owner change) and
// fail one chosen operation at its n-th call with a chosen error number, so
// that a test can stop a change at any step. FaultyFiles also reads a clock
// that the test sets, so that backup names are known in advance.
#ifndef LWK_TESTS_HELPER_CORE_FAULTY_PLATFORM_H_
#define LWK_TESTS_HELPER_CORE_FAULTY_PLATFORM_H_

#include <cerrno>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "helper_core/platform.h"
#include "privsep/posix_files.h"
#include "privsep/system_platform.h"

namespace lwk_test {

using hosts_helper_core::write::FileKind;
using hosts_helper_core::write::Files;
using hosts_helper_core::write::IoResult;
using hosts_helper_core::write::Platform;
using hosts_helper_core::write::WritableFile;

enum class Op {
  RestorePermissions,
  Replace,
  RejectIfRedirected,
  FlushNameCache,
  Examine,
  ReadFile,
  MakeDirectories,
  CreateFile,
  Append,
  Sync,
  Close,
  Rename,
  SyncDirectory,
  RemoveFile,
  ListDirectory,
  RemoveDirectory,
};

// Which call of which operation fails, and how many calls each has had.
class FaultPlan {
 public:
  // Makes the `nth` call (from 1) of `op` fail with `error`.
  void fail(Op op, int nth, int error = EIO) { faults_[op] = {nth, error}; }

  int calls(Op op) const {
    auto it = calls_.find(op);
    return it == calls_.end() ? 0 : it->second;
  }

  // Counts the call and answers whether it is the one to fail.
  bool strikes(Op op, lwk::IoError* error) {
    const int n = ++calls_[op];
    auto it = faults_.find(op);
    if (it == faults_.end() || it->second.first != n) return false;
    *error = lwk::IoError::from_errno(it->second.second);
    return true;
  }

 private:
  std::map<Op, std::pair<int, int>> faults_;
  std::map<Op, int> calls_;
};

// Fails a call of `op` as `plan` says, else runs `real`.
#define LWK_FAULT_OR(op, real)                                            \
  do {                                                                    \
    if (lwk::IoError e; plan_.strikes(op, &e)) return lwk::unexpected(e); \
    return real;                                                          \
  } while (0)

class FaultyFiles final : public Files {
 public:
  explicit FaultyFiles(FaultPlan& plan) : plan_(plan) {}

  // What now_nanoseconds() answers: 1 s after the epoch until set otherwise.
  std::uint64_t clock = 1'000'000'000;

  IoResult<FileKind> examine(const std::string& p) override {
    LWK_FAULT_OR(Op::Examine, real_.examine(p));
  }
  IoResult<std::string> read_file(const std::string& p) override {
    LWK_FAULT_OR(Op::ReadFile, real_.read_file(p));
  }
  IoResult<void> make_directories(const std::string& p) override {
    LWK_FAULT_OR(Op::MakeDirectories, real_.make_directories(p));
  }
  IoResult<std::unique_ptr<WritableFile>> create_new(const std::string& p) override;
  IoResult<void> rename(const std::string& f, const std::string& t) override {
    LWK_FAULT_OR(Op::Rename, real_.rename(f, t));
  }
  IoResult<void> sync_directory(const std::string& p) override {
    LWK_FAULT_OR(Op::SyncDirectory, real_.sync_directory(p));
  }
  IoResult<void> remove_file(const std::string& p) override {
    LWK_FAULT_OR(Op::RemoveFile, real_.remove_file(p));
  }
  IoResult<std::vector<std::string>> list_directory(const std::string& p) override {
    LWK_FAULT_OR(Op::ListDirectory, real_.list_directory(p));
  }
  IoResult<void> remove_directory(const std::string& p) override {
    LWK_FAULT_OR(Op::RemoveDirectory, real_.remove_directory(p));
  }
  std::uint64_t now_nanoseconds() override { return clock; }

  FaultPlan& plan() { return plan_; }

 private:
  FaultPlan& plan_;
  hosts_privsep::platform::PosixFiles real_;
};

class FaultyPlatform final : public Platform {
 public:
  // `cache_commands`: what flush_name_cache runs, none unless given.
  explicit FaultyPlatform(std::vector<hosts_privsep::platform::CacheCommand> cache_commands = {})
      : files_(plan_), real_(false, std::move(cache_commands)) {}

  void fail(Op op, int nth, int error = EIO) { plan_.fail(op, nth, error); }
  int calls(Op op) const { return plan_.calls(op); }
  // Runs after every successful replace (to imitate another program).
  std::function<void()> after_replace;

  IoResult<void> restore_permissions(const std::string& t, const std::string& g) override {
    LWK_FAULT_OR(Op::RestorePermissions, real_.restore_permissions(t, g));
  }
  IoResult<void> replace(const std::string& t, const std::string& g) override {
    if (lwk::IoError e; plan_.strikes(Op::Replace, &e)) return lwk::unexpected(e);
    auto r = real_.replace(t, g);
    if (r && after_replace) after_replace();
    return r;
  }
  IoResult<void> reject_if_redirected(const std::string& t) override {
    LWK_FAULT_OR(Op::RejectIfRedirected, real_.reject_if_redirected(t));
  }
  lwk::Result<bool, std::string> flush_name_cache() override {
    if (lwk::IoError e; plan_.strikes(Op::FlushNameCache, &e)) return lwk::unexpected(e.message);
    return real_.flush_name_cache();
  }
  FaultyFiles& files() override { return files_; }

 private:
  FaultPlan plan_;
  FaultyFiles files_;
  hosts_privsep::platform::SystemPlatform real_;
};

// A file whose operations pass through the plan.
class FaultyFile final : public WritableFile {
 public:
  FaultyFile(FaultPlan& plan, std::unique_ptr<WritableFile> real)
      : plan_(plan), real_(std::move(real)) {}
  IoResult<void> append(std::string_view bytes) override {
    LWK_FAULT_OR(Op::Append, real_->append(bytes));
  }
  IoResult<void> sync() override { LWK_FAULT_OR(Op::Sync, real_->sync()); }
  IoResult<void> close() override {
    if (lwk::IoError e; plan_.strikes(Op::Close, &e)) {
      (void)real_->close();  // a failed close still releases the descriptor
      return lwk::unexpected(e);
    }
    return real_->close();
  }

 private:
  FaultPlan& plan_;
  std::unique_ptr<WritableFile> real_;
};

inline IoResult<std::unique_ptr<WritableFile>> FaultyFiles::create_new(const std::string& p) {
  if (lwk::IoError e; plan_.strikes(Op::CreateFile, &e)) return lwk::unexpected(e);
  auto file = real_.create_new(p);
  if (!file) return file;
  return std::unique_ptr<WritableFile>(std::make_unique<FaultyFile>(plan_, std::move(*file)));
}

#undef LWK_FAULT_OR

}  // namespace lwk_test

#endif  // LWK_TESTS_HELPER_CORE_FAULTY_PLATFORM_H_
