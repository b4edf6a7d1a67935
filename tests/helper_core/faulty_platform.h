// A Platform for tests that does the real work through MacPlatform (without
// the root-only owner change) and fails one chosen operation at its n-th call
// with a chosen error number, so that a test can stop a change at any step.
#ifndef LWK_TESTS_HELPER_CORE_FAULTY_PLATFORM_H_
#define LWK_TESTS_HELPER_CORE_FAULTY_PLATFORM_H_

#include <cerrno>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "helper_core/platform.h"
#include "privsep/mac_platform.h"

namespace lwk_test {

using hosts_helper_core::write::FileKind;
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
  RemoveTree,
};

class FaultyPlatform final : public Platform {
 public:
  FaultyPlatform() : real_(false, {}) {}

  // Makes the `nth` call (from 1) of `op` fail with `error`.
  void fail(Op op, int nth, int error = EIO) { faults_[op] = {nth, error}; }
  // Runs after every successful replace (to imitate another program).
  std::function<void()> after_replace;

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

  IoResult<void> restore_permissions(const std::string& t, const std::string& g) override {
    if (lwk::IoError e; strikes(Op::RestorePermissions, &e)) return lwk::unexpected(e);
    return real_.restore_permissions(t, g);
  }
  IoResult<void> replace(const std::string& t, const std::string& g) override {
    if (lwk::IoError e; strikes(Op::Replace, &e)) return lwk::unexpected(e);
    auto r = real_.replace(t, g);
    if (r && after_replace) after_replace();
    return r;
  }
  IoResult<void> reject_if_redirected(const std::string& t) override {
    if (lwk::IoError e; strikes(Op::RejectIfRedirected, &e)) return lwk::unexpected(e);
    return real_.reject_if_redirected(t);
  }
  lwk::Result<bool, std::string> flush_name_cache() override {
    if (lwk::IoError e; strikes(Op::FlushNameCache, &e)) return lwk::unexpected(e.message);
    return real_.flush_name_cache();
  }
  IoResult<FileKind> examine(const std::string& p) override {
    if (lwk::IoError e; strikes(Op::Examine, &e)) return lwk::unexpected(e);
    return real_.examine(p);
  }
  IoResult<std::string> read_file(const std::string& p) override {
    if (lwk::IoError e; strikes(Op::ReadFile, &e)) return lwk::unexpected(e);
    return real_.read_file(p);
  }
  // Counts as a read.
  IoResult<bool> holds_exactly(const std::string& p, std::string_view content) override {
    if (lwk::IoError e; strikes(Op::ReadFile, &e)) return lwk::unexpected(e);
    return real_.holds_exactly(p, content);
  }
  IoResult<void> make_directories(const std::string& p) override {
    if (lwk::IoError e; strikes(Op::MakeDirectories, &e)) return lwk::unexpected(e);
    return real_.make_directories(p);
  }
  IoResult<std::unique_ptr<WritableFile>> create_file(const std::string& p) override;
  IoResult<void> rename(const std::string& f, const std::string& t) override {
    if (lwk::IoError e; strikes(Op::Rename, &e)) return lwk::unexpected(e);
    return real_.rename(f, t);
  }
  IoResult<void> sync_directory(const std::string& p) override {
    if (lwk::IoError e; strikes(Op::SyncDirectory, &e)) return lwk::unexpected(e);
    return real_.sync_directory(p);
  }
  IoResult<void> remove_file(const std::string& p) override {
    if (lwk::IoError e; strikes(Op::RemoveFile, &e)) return lwk::unexpected(e);
    return real_.remove_file(p);
  }
  IoResult<std::vector<std::string>> list_directory(const std::string& p) override {
    if (lwk::IoError e; strikes(Op::ListDirectory, &e)) return lwk::unexpected(e);
    return real_.list_directory(p);
  }
  IoResult<void> remove_tree(const std::string& p) override {
    if (lwk::IoError e; strikes(Op::RemoveTree, &e)) return lwk::unexpected(e);
    return real_.remove_tree(p);
  }

 private:
  hosts_privsep_macos::platform::MacPlatform real_;
  std::map<Op, std::pair<int, int>> faults_;
  std::map<Op, int> calls_;
};

// A file whose operations pass through the platform's fault plan.
class FaultyFile final : public WritableFile {
 public:
  FaultyFile(FaultyPlatform* platform, std::unique_ptr<WritableFile> real)
      : platform_(platform), real_(std::move(real)) {}
  IoResult<void> append(std::string_view bytes) override {
    if (lwk::IoError e; platform_->strikes(Op::Append, &e)) return lwk::unexpected(e);
    return real_->append(bytes);
  }
  IoResult<void> sync() override {
    if (lwk::IoError e; platform_->strikes(Op::Sync, &e)) return lwk::unexpected(e);
    return real_->sync();
  }
  IoResult<void> close() override {
    if (lwk::IoError e; platform_->strikes(Op::Close, &e)) {
      (void)real_->close();  // a failed close still releases the descriptor
      return lwk::unexpected(e);
    }
    return real_->close();
  }

 private:
  FaultyPlatform* platform_;
  std::unique_ptr<WritableFile> real_;
};

inline IoResult<std::unique_ptr<WritableFile>> FaultyPlatform::create_file(const std::string& p) {
  if (lwk::IoError e; strikes(Op::CreateFile, &e)) return lwk::unexpected(e);
  auto file = real_.create_file(p);
  if (!file) return file;
  return std::unique_ptr<WritableFile>(std::make_unique<FaultyFile>(this, std::move(*file)));
}

}  // namespace lwk_test

#endif  // LWK_TESTS_HELPER_CORE_FAULTY_PLATFORM_H_
