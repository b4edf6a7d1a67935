// The C interface over the client's core. Each lw_ function hands its work
// to a noexcept function of this file, so that nothing thrown (the project
// throws nothing, but the standard library may fail to allocate) can cross
// into a C caller's frames: the process ends instead.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf8.h"
#include "check/check.h"
#include "diff.h"
#include "helper_link.h"
#include "helper_requests.h"
#include "input_file.h"
#include "ipc/wire.h"
#include "lantern_wharf.h"
#include "manager.h"
#include "paths/paths.h"
#include "preview.h"
#include "sets_json.h"

namespace lantern_wharf::c_interface {
namespace {

namespace requests = lantern_wharf::helper_requests;

// The largest /etc/hosts the library reads, as the command reads at most.
constexpr std::size_t kHostsFileLimit = preview::HOSTS_FILE_LIMIT;

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

namespace {

// The file as it is now and what applying the sets of `sets_json` would
// write, by the helper's own steps; on failure, the status (and *issues for
// LW_ISSUES) is given instead.
lwk::Result<preview::Change, int> rendered(const char* sets_json, char** issues) {
  auto sets = parsed(sets_json);
  if (!sets) return lwk::unexpected(fail(LW_BAD_INPUT, sets.error()));
  auto change = preview::of_file(sets->sets, hosts_paths::system_file());
  if (!change) {
    if (!change.error().refusal.empty()) {
      return lwk::unexpected(fail(LW_BAD_INPUT, change.error().refusal));
    }
    hosts_ipc::Issues found{change.error().issues};
    *issues = handed_out(requests::issues_json(found.issues));
    return lwk::unexpected(fail(LW_ISSUES, requests::summary(found)));
  }
  return std::move(*change);
}

// The line numbers of a C caller, or why there are none.
lwk::Result<std::vector<std::uint64_t>, std::string> numbers_of(const unsigned long long* lines,
                                                                std::size_t count) {
  if (count > 0 && lines == nullptr) {
    return lwk::unexpected(std::string("line numbers were counted but not given"));
  }
  return std::vector<std::uint64_t>(lines, lines + count);
}

// Applies `change` to the sets of `sets_json` and hands out the changed
// sets file; the set name `name` must be given.
template <class Change>
int changed_sets(const char* sets_json, const char* name, char** changed, Change change) {
  if (changed == nullptr) return fail(LW_BAD_INPUT, "no place was given for the changed sets");
  *changed = nullptr;
  if (name == nullptr) return fail(LW_BAD_INPUT, "no set name was given");
  if (!lwk::utf8::is_valid(name)) return fail(LW_BAD_INPUT, "the set's name is not valid UTF-8");
  auto sets = parsed(sets_json);
  if (!sets) return fail(LW_BAD_INPUT, sets.error());
  std::vector<manager::Set> owned = manager::from_wire(sets->sets);
  lwk::Result<void, std::string> made = change(owned);
  if (!made) return fail(LW_BAD_INPUT, made.error());
  // A line the file would leave out stays in its set, switched off.
  (void)manager::keep_repeats_off(owned);
  *changed = handed_out(manager::to_sets_file(owned));
  return succeed();
}

}  // namespace

int preview(const char* sets_json, char** content, std::size_t* content_length,
            char** issues) noexcept {
  if (content == nullptr || issues == nullptr) {
    return fail(LW_BAD_INPUT, "no place was given for the new file or its issues");
  }
  *content = nullptr;
  *issues = nullptr;
  if (content_length != nullptr) *content_length = 0;
  auto made = rendered(sets_json, issues);
  if (!made) return made.error();
  const std::string& after = made->after;
  *content = handed_out(after);
  if (content_length != nullptr) *content_length = after.size();
  return succeed();
}

int diff(const char* sets_json, char** diff_text, char** issues) noexcept {
  if (diff_text == nullptr || issues == nullptr) {
    return fail(LW_BAD_INPUT, "no place was given for the diff or its issues");
  }
  *diff_text = nullptr;
  *issues = nullptr;
  auto made = rendered(sets_json, issues);
  if (!made) return made.error();
  const std::string path = hosts_paths::system_file();
  *diff_text =
      handed_out(unified_diff(made->before, made->after, path, path + " (after the apply)"));
  return succeed();
}

int check(const char* sets_json, char** issues) noexcept {
  if (issues == nullptr) return fail(LW_BAD_INPUT, "no place was given for the issues");
  *issues = nullptr;
  auto sets = parsed(sets_json);
  if (!sets) return fail(LW_BAD_INPUT, sets.error());
  auto checked =
      hosts_helper_core::check::check(sets->sets, hosts_helper_core::check::Limits::service());
  if (checked) return succeed();
  hosts_ipc::Issues found{checked.error()};
  *issues = handed_out(requests::issues_json(found.issues));
  return fail(LW_ISSUES, requests::summary(found));
}

int switch_lines(const char* sets_json, const char* name, const unsigned long long* lines,
                 std::size_t count, int enabled, char** changed) noexcept {
  return changed_sets(sets_json, name, changed,
                      [&](std::vector<manager::Set>& sets) -> lwk::Result<void, std::string> {
                        auto numbers = numbers_of(lines, count);
                        if (!numbers) return lwk::unexpected(numbers.error());
                        return manager::set_enabled(sets, name, *numbers, enabled != 0);
                      });
}

int add_lines(const char* sets_json, const char* name, const char* text, int enabled,
              char** changed) noexcept {
  return changed_sets(sets_json, name, changed,
                      [&](std::vector<manager::Set>& sets) -> lwk::Result<void, std::string> {
                        if (text == nullptr)
                          return lwk::unexpected(std::string("no lines were given"));
                        auto lines = manager::lines_of(text);
                        if (!lines) return lwk::unexpected(lines.error());
                        manager::add_lines(sets, name, *lines, enabled != 0);
                        return lwk::success();
                      });
}

int remove(const char* sets_json, const char* name, const unsigned long long* lines,
           std::size_t count, char** changed) noexcept {
  return changed_sets(sets_json, name, changed,
                      [&](std::vector<manager::Set>& sets) -> lwk::Result<void, std::string> {
                        auto numbers = numbers_of(lines, count);
                        if (!numbers) return lwk::unexpected(numbers.error());
                        return manager::remove(sets, name, *numbers);
                      });
}

int rename(const char* sets_json, const char* from, const char* to, char** changed) noexcept {
  return changed_sets(sets_json, from, changed,
                      [&](std::vector<manager::Set>& sets) -> lwk::Result<void, std::string> {
                        if (to == nullptr) {
                          return lwk::unexpected(std::string("no new name was given"));
                        }
                        if (!lwk::utf8::is_valid(to)) {
                          return lwk::unexpected(std::string("the new name is not valid UTF-8"));
                        }
                        return manager::rename(sets, from, to);
                      });
}

int encode(int request, const char* sets_json, char** octets, std::size_t* length) noexcept {
  if (octets == nullptr || length == nullptr) {
    return fail(LW_BAD_INPUT, "no place was given for the request");
  }
  *octets = nullptr;
  *length = 0;
  std::string bytes;
  switch (request) {
    case LW_REQUEST_APPLY: {
      auto sets = parsed(sets_json);
      if (!sets) return fail(LW_BAD_INPUT, sets.error());
      bytes = hosts_ipc::encode_request(hosts_ipc::ApplySets{sets->sets});
      break;
    }
    case LW_REQUEST_FLUSH: bytes = hosts_ipc::encode_request(hosts_ipc::FlushNameCache{}); break;
    case LW_REQUEST_REMOVE_EVERYTHING:
      bytes = hosts_ipc::encode_request(hosts_ipc::RemoveEverything{});
      break;
    default: return fail(LW_BAD_INPUT, "there is no request numbered " + std::to_string(request));
  }
  if (bytes.size() > request_limit()) {
    return fail(LW_BAD_INPUT, "the request is " + std::to_string(bytes.size()) +
                                  " octets, and a message to the helper carries at most " +
                                  std::to_string(request_limit()));
  }
  *octets = handed_out(bytes);
  *length = bytes.size();
  return succeed();
}

int decode(const char* octets, std::size_t length, char** response) noexcept {
  if (response == nullptr) return fail(LW_BAD_INPUT, "no place was given for the response");
  *response = nullptr;
  if (octets == nullptr && length > 0) {
    return fail(LW_BAD_INPUT, "octets were counted but not given");
  }
  if (length == 0) {
    return fail(LW_BAD_INPUT, "no response: an empty reply is the helper's refusal of the caller");
  }
  auto decoded = hosts_ipc::decode_response(std::string_view(octets, length));
  if (!decoded) {
    return fail(LW_BAD_INPUT,
                "the octets are no response: " + hosts_ipc::describe(decoded.error()));
  }
  *response = handed_out(requests::to_json(*decoded));
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

int lw_diff(const char* sets_json, char** diff, char** issues) {
  return c::diff(sets_json, diff, issues);
}

int lw_check(const char* sets_json, char** issues) { return c::check(sets_json, issues); }

int lw_switch(const char* sets_json, const char* set_name, const unsigned long long* lines,
              size_t line_count, int enabled, char** changed) {
  return c::switch_lines(sets_json, set_name, lines, line_count, enabled, changed);
}

int lw_add_lines(const char* sets_json, const char* set_name, const char* text, int enabled,
                 char** changed) {
  return c::add_lines(sets_json, set_name, text, enabled, changed);
}

int lw_remove(const char* sets_json, const char* set_name, const unsigned long long* lines,
              size_t line_count, char** changed) {
  return c::remove(sets_json, set_name, lines, line_count, changed);
}

int lw_rename(const char* sets_json, const char* from, const char* to, char** changed) {
  return c::rename(sets_json, from, to, changed);
}

int lw_encode(int request, const char* sets_json, char** request_octets, size_t* request_length) {
  return c::encode(request, sets_json, request_octets, request_length);
}

int lw_decode(const char* octets, size_t length, char** response) {
  return c::decode(octets, length, response);
}

int lw_flush(char** response) { return c::flush(response); }

int lw_remove_everything(char** response) { return c::remove_everything(response); }

const char* lw_last_error(void) { return c::last_error_text(); }

void lw_free(void* p) { std::free(p); }

}  // extern "C"
