#include "identity/signature_linux.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

#include "identity/build_constants.h"
#include "identity/process_linux.h"
#include "os/files.h"

namespace signature {
namespace {

// Whether only root can change what `st` describes: owned by root, and
// writable by nobody else, unless it is a sticky directory, in which only an
// entry's owner may replace that entry.
bool only_root_can_change(const struct stat& st) {
  if (st.st_uid != 0) return false;
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) == 0) return true;
  return S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0;
}

// Whether `path` (a file, resolved through any links) and every directory
// above it up to "/" are only root's to change.
bool only_root_can_replace(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return false;
  std::string at = resolved;
  struct stat st;
  if (::lstat(at.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != 0 ||
      (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return false;
  }
  while (at != "/") {
    at = lwk::os::parent_of(at);
    if (::lstat(at.c_str(), &st) != 0 || !only_root_can_change(st)) return false;
  }
  return true;
}

}  // namespace

SignatureVerdict check_executable(const identity::AuditToken& token, std::string_view requirement,
                                  const std::string& trusted) {
  if (requirement != identity::ClientRequirement::make().text()) {
    return SignatureVerdict::requirement_unreadable(errSecCSReqInvalid);
  }
  const pid_t pid = identity::pid_of(token);
  const std::uint64_t started = identity::start_time_in(token);
  if (identity::start_time_of(pid) != started) {
    return SignatureVerdict::no_such_code(errSecCSNoSuchCode);
  }
  struct stat running;
  if (::stat(("/proc/" + std::to_string(pid) + "/exe").c_str(), &running) != 0) {
    return SignatureVerdict::no_such_code(errSecCSNoSuchCode);
  }
  struct stat client;
  if (::stat(trusted.c_str(), &client) != 0 || client.st_dev != running.st_dev ||
      client.st_ino != running.st_ino) {
    return SignatureVerdict::not_our_program(errSecCSReqFailed);
  }
  if (!only_root_can_replace(trusted)) {
    return SignatureVerdict::not_our_program(errSecCSSignatureFailed);
  }
  // The executable was examined for the pid; if that pid now names another
  // process, what was examined may have been that one's.
  if (identity::start_time_of(pid) != started) {
    return SignatureVerdict::no_such_code(errSecCSNoSuchCode);
  }
  return SignatureVerdict::satisfied();
}

SignatureVerdict check(const identity::AuditToken& token, std::string_view requirement) {
  return check_executable(token, requirement, std::string(identity::CLIENT_PATH));
}

}  // namespace signature
