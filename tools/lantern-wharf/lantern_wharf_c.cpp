// The C interface over the client's core. Each lw_ function hands its work
// to a noexcept function of this file, so that nothing thrown (the project
// throws nothing, but the standard library may fail to allocate) can cross
// into a C caller's frames: the process ends instead.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "helper_core/check.h"
#include "helper_core/pipeline.h"
#include "helper_link.h"
#include "helper_requests.h"
#include "input_file.h"
#include "ipc/wire.h"
#include "lantern_wharf.h"
#include "manager.h"
#include "paths/paths.h"
#include "sets_json.h"

namespace lantern_wharf::c_interface {
namespace {

namespace requests = lantern_wharf::helper_requests;

// The largest /etc/hosts the library reads, as the command reads at most.
constexpr std::size_t kHostsFileLimit = 16u << 20;

// The sentence of the calling thread's last call.
thread_local std::string last_error;

int fail(int status, std::string sentence) {
  last_error = std::move(sentence);
  return status;
}

int succeed() {
  last_error.clear();
  return LW_OK;
}

// A copy of `text`, NUL-terminated, that the caller releases with lw_free.
char* handed_out(std::string_view text) {
  char* out = static_cast<char*>(std::malloc(text.size() + 1));
  if (out == nullptr) lwk::fatal("no memory for a string to hand out");
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
  return out;
}

// The sets of the sets file `json`, which holds at most as many octets as a
// message to the helper: a bigger one could never reach it.
lwk::Result<SetsFile, std::string> parsed(const char* json) {
  if (json == nullptr) return lwk::unexpected(std::string("no sets file was given"));
  const std::size_t limit = request_limit();
  const std::size_t length = ::strnlen(json, limit + 1);
  if (length > limit) {
    return lwk::unexpected("the sets file holds more than " + std::to_string(limit) +
                           " octets, and the client reads at most " + std::to_string(limit));
  }
  auto sets = parse_sets(std::string_view(json, length));
  if (!sets) return lwk::unexpected("the sets file: " + sets.error());
  return std::move(*sets);
}

// Asks the helper for `request`; the response, if any, goes to *response.
int answered(const hosts_ipc::Request& request, char** response) {
  auto got = requests::ask(request);
  if (!got) return fail(got.error().status, got.error().sentence);
  *response = handed_out(requests::to_json(*got));
  const int status = requests::status_of(*got);
  return status == LW_OK ? succeed() : fail(status, requests::summary(*got));
}

}  // namespace

int apply(const char* sets_json, char** response) noexcept {
  if (response == nullptr) return fail(LW_BAD_INPUT, "no place was given for the response");
  *response = nullptr;
  auto sets = parsed(sets_json);
  if (!sets) return fail(LW_BAD_INPUT, sets.error());
  return answered(hosts_ipc::ApplySets{sets->sets}, response);
}

int read_sets(char** sets_json) noexcept {
  if (sets_json == nullptr) return fail(LW_BAD_INPUT, "no place was given for the sets");
  *sets_json = nullptr;
  const std::string path = hosts_paths::system_file();
  auto bytes = input_file::read(path, kHostsFileLimit);
  if (!bytes) {
    return fail(bytes.error().refused ? LW_BAD_INPUT : LW_ISSUES,
                path + ": " + bytes.error().message);
  }
  auto sets = manager::read_sets(*bytes);
  if (!sets) return fail(LW_ISSUES, path + ": " + sets.error());
  *sets_json = handed_out(manager::to_sets_file(*sets));
  return succeed();
}

int preview(const char* sets_json, char** content, std::size_t* content_length,
            char** issues) noexcept {
  if (content == nullptr || issues == nullptr) {
    return fail(LW_BAD_INPUT, "no place was given for the new file or its issues");
  }
  *content = nullptr;
  *issues = nullptr;
  if (content_length != nullptr) *content_length = 0;
  auto sets = parsed(sets_json);
  if (!sets) return fail(LW_BAD_INPUT, sets.error());
  const std::string path = hosts_paths::system_file();
  std::optional<std::string> not_read;  // a file the client does not read: bad input
  auto rendered = hosts_helper_core::pipeline::new_content(
      sets->sets, hosts_helper_core::check::Limits::service(),
      [&]() -> lwk::Result<std::string, std::string> {
        auto bytes = input_file::read(path, kHostsFileLimit);
        if (!bytes) {
          if (bytes.error().refused) not_read = path + ": " + bytes.error().message;
          return lwk::unexpected(bytes.error().message);
        }
        return std::move(*bytes);
      });
  if (not_read) return fail(LW_BAD_INPUT, std::move(*not_read));
  if (!rendered) {
    hosts_ipc::Issues found{rendered.error()};
    *issues = handed_out(requests::issues_json(found.issues));
    return fail(LW_ISSUES, requests::summary(found));
  }
  *content = handed_out(*rendered);
  if (content_length != nullptr) *content_length = rendered->size();
  return succeed();
}

int flush(char** response) noexcept {
  if (response == nullptr) return fail(LW_BAD_INPUT, "no place was given for the response");
  *response = nullptr;
  return answered(hosts_ipc::FlushNameCache{}, response);
}

int remove_everything(char** response) noexcept {
  if (response == nullptr) return fail(LW_BAD_INPUT, "no place was given for the response");
  *response = nullptr;
  return answered(hosts_ipc::RemoveEverything{}, response);
}

const char* last_error_text() noexcept { return last_error.c_str(); }

}  // namespace lantern_wharf::c_interface

namespace c = lantern_wharf::c_interface;

extern "C" {

int lw_apply(const char* sets_json, char** response) { return c::apply(sets_json, response); }

int lw_read_sets(char** sets_json) { return c::read_sets(sets_json); }

int lw_preview(const char* sets_json, char** content, size_t* content_length, char** issues) {
  return c::preview(sets_json, content, content_length, issues);
}

int lw_flush(char** response) { return c::flush(response); }

int lw_remove_everything(char** response) { return c::remove_everything(response); }

const char* lw_last_error(void) { return c::last_error_text(); }

void lw_free(void* p) { std::free(p); }

}  // extern "C"
