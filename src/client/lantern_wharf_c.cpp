// The C interface over the client's core. Each lw_ function hands its work
// to a noexcept function of this file, so that nothing thrown (the project
// throws nothing, but the standard library may fail to allocate) can cross
// into a C caller's frames: the process ends instead.
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/utf8.h"
#include "client/diff.h"
#include "client/helper_link.h"
#include "client/input_file.h"
#include "client/lantern_wharf.h"
#include "client/manager.h"
#include "client/responses.h"
#include "client/statuses.h"
#include "ipc/wire.h"
#include "paths/paths.h"

namespace lantern_wharf::c_interface {
namespace {

using manager::Failure;
using manager::Sets;

// The sentence of the calling thread's last call.
thread_local std::string last_error;

int fail(int status, std::string sentence) {
  last_error = std::move(sentence);
  return status;
}

int fail(const Failure& failure) { return fail(status_of(failure.kind), failure.sentence); }

int succeed() {
  last_error.clear();
  return LW_OK;
}

lwk::Unexpected<Failure> bad_input(std::string sentence) {
  return lwk::unexpected(Failure{Failure::Kind::BadInput, std::move(sentence), {}});
}

// A copy of `text`, NUL-terminated, that the caller releases with lw_free.
char* handed_out(std::string_view text) {
  char* out = static_cast<char*>(std::malloc(text.size() + 1));
  if (out == nullptr) lwk::fatal("no memory for a string to hand out");
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
  return out;
}

// The C string `text`, read no further than `limit` octets: "no WHAT was
// given", "the WHAT holds more than L octets, and the client reads at most
// L", or "the WHAT is not valid UTF-8".
lwk::Result<std::string_view, Failure> c_text(const char* text, const std::string& what,
                                              std::size_t limit = manager::FILE_LIMIT) {
  if (text == nullptr) return bad_input("no " + what + " was given");
  const std::size_t length = ::strnlen(text, limit + 1);
  if (length > limit) {
    return bad_input("the " + what + " holds " +
                     input_file::beyond_bound("more than " + std::to_string(limit), limit));
  }
  const std::string_view view(text, length);
  if (!lwk::utf8::is_valid(view)) return bad_input("the " + what + " is not valid UTF-8");
  return view;
}

// The sets of the sets file `json`, which holds at most as many octets as a
// message to the helper: a bigger one could never reach it.
lwk::Result<Sets, Failure> parsed(const char* json) {
  if (json == nullptr) return bad_input("no sets file was given");
  const std::size_t limit = request_limit();
  const std::size_t length = ::strnlen(json, limit + 1);
  if (length > limit) {
    return bad_input("the sets file holds " +
                     input_file::beyond_bound("more than " + std::to_string(limit), limit));
  }
  auto sets = manager::parse_sets_file(std::string_view(json, length));
  if (!sets) return bad_input("the sets file: " + sets.error().sentence);
  return std::move(*sets);
}

// Hands out the sets file of `sets` in *out.
int handed_out_sets(const Sets& sets, char** out) {
  auto file = manager::to_sets_file(sets);
  if (!file) return fail(file.error());
  *out = handed_out(*file);
  return succeed();
}

// Hands out the issues of a failure that has them, or the one issue of the
// request as a whole that its sentence is, and fails with their summary.
int failed_with_issues(const Failure& failure, char** issues) {
  if (failure.kind != Failure::Kind::Refused) return fail(failure);
  const std::vector<hosts_ipc::Issue> found =
      failure.issues.empty() ? std::vector{hosts_ipc::request_issue(failure.sentence)}
                             : failure.issues;
  *issues = handed_out(responses::issues_json(found));
  return fail(LW_ISSUES, responses::summary(found));
}

// Shows the helper's answer to a request: the response, if any, goes to
// *response, with `notes`.
int answered(const lwk::Result<hosts_ipc::Response, Failure>& got, char** response,
             const std::vector<std::string>& notes = {}) {
  if (!got) return fail(got.error());
  *response = handed_out(responses::to_json(*got, notes));
  const int status = status_of(*got);
  return status == LW_OK ? succeed() : fail(status, responses::summary(*got));
}

}  // namespace

int apply(const char* sets_json, char** response) noexcept {
  if (response == nullptr) return fail(LW_BAD_INPUT, "no place was given for the response");
  *response = nullptr;
  auto sets = parsed(sets_json);
  if (!sets) return fail(sets.error());
  // The layer keeps such lines off too; here they are named.
  const std::vector<std::string> notes = manager::keep_repeats_off(*sets);
  return answered(manager::apply(*sets), response, notes);
}

int read_sets(char** sets_json) noexcept {
  if (sets_json == nullptr) return fail(LW_BAD_INPUT, "no place was given for the sets");
  *sets_json = nullptr;
  auto current = manager::read_current(hosts_paths::system_file());
  if (!current) return fail(current.error());
  return handed_out_sets(current->sets, sets_json);
}

int shadowed(const char* sets_json, char** notes) noexcept {
  if (notes == nullptr) return fail(LW_BAD_INPUT, "no place was given for the notes");
  *notes = nullptr;
  auto sets = parsed(sets_json);
  if (!sets) return fail(sets.error());
  const std::string path = hosts_paths::system_file();
  auto file = manager::read_file(path);
  if (!file) return fail(file.error());
  *notes = handed_out(responses::issues_json(manager::shadowed(*sets, *file, path), {}, "notes"));
  return succeed();
}

namespace {

// The file as it is now and what applying the sets of `sets_json` would
// write, by the helper's own steps; on failure, the status (and *issues for
// LW_ISSUES) is given instead.
lwk::Result<manager::Change, int> rendered(const char* sets_json, char** issues) {
  auto sets = parsed(sets_json);
  if (!sets) return lwk::unexpected(fail(sets.error()));
  auto change = manager::preview_file(*sets, hosts_paths::system_file());
  if (!change) return lwk::unexpected(failed_with_issues(change.error(), issues));
  return std::move(*change);
}

// The line numbers of a C caller, or why there are none: no more than a set
// that a message to the helper carries could have.
lwk::Result<std::vector<std::uint64_t>, Failure> numbers_of(const unsigned long long* lines,
                                                            std::size_t count) {
  if (count > 0 && lines == nullptr) return bad_input("line numbers were counted but not given");
  if (count > request_limit() || hosts_ipc::apply_request_octets(1, count, 0) > request_limit()) {
    return bad_input(std::to_string(count) + " line numbers were given, more than a set has lines");
  }
  return std::vector<std::uint64_t>(lines, lines + count);
}

// Applies `change` to the sets of `sets_json` and hands out the changed
// sets file; the set name `name` must be given.
template <class Change>
int changed_sets(const char* sets_json, const char* name, char** changed, Change change) {
  if (changed == nullptr) return fail(LW_BAD_INPUT, "no place was given for the changed sets");
  *changed = nullptr;
  auto set_name = c_text(name, "set name");
  if (!set_name) return fail(set_name.error());
  auto sets = parsed(sets_json);
  if (!sets) return fail(sets.error());
  lwk::Result<void, Failure> made = change(*sets, *set_name);
  if (!made) return fail(made.error());
  // A line the file would leave out stays in its set, switched off.
  (void)manager::keep_repeats_off(*sets);
  return handed_out_sets(*sets, changed);
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
  if (!sets) return fail(sets.error());
  auto found = manager::check(*sets);
  if (!found) return fail(found.error());
  if (found->empty()) return succeed();
  *issues = handed_out(responses::issues_json(*found));
  return fail(LW_ISSUES, responses::summary(*found));
}

int switch_lines(const char* sets_json, const char* name, const unsigned long long* lines,
                 std::size_t count, int enabled, char** changed) noexcept {
  return changed_sets(sets_json, name, changed,
                      [&](Sets& sets, std::string_view set) -> lwk::Result<void, Failure> {
                        auto numbers = numbers_of(lines, count);
                        if (!numbers) return lwk::unexpected(std::move(numbers).error());
                        return manager::switch_lines(sets, set, *numbers, enabled != 0);
                      });
}

int add_lines(const char* sets_json, const char* name, const char* text, int enabled,
              char** changed) noexcept {
  return changed_sets(
      sets_json, name, changed,
      [&](Sets& sets, std::string_view set) -> lwk::Result<void, Failure> {
        if (text == nullptr) return bad_input("no lines were given");
        const std::size_t limit = manager::FILE_LIMIT;
        const std::size_t length = ::strnlen(text, limit + 1);
        if (length > limit) {
          return bad_input("the lines hold " +
                           input_file::beyond_bound("more than " + std::to_string(limit), limit));
        }
        auto lines = manager::lines_of(std::string_view(text, length));
        if (!lines) return lwk::unexpected(std::move(lines).error());
        manager::add_lines(sets, set, *lines, enabled != 0);
        return lwk::success();
      });
}

int remove(const char* sets_json, const char* name, const unsigned long long* lines,
           std::size_t count, char** changed) noexcept {
  return changed_sets(sets_json, name, changed,
                      [&](Sets& sets, std::string_view set) -> lwk::Result<void, Failure> {
                        auto numbers = numbers_of(lines, count);
                        if (!numbers) return lwk::unexpected(std::move(numbers).error());
                        return manager::remove(sets, set, *numbers);
                      });
}

int rename(const char* sets_json, const char* from, const char* to, char** changed) noexcept {
  return changed_sets(sets_json, from, changed,
                      [&](Sets& sets, std::string_view set) -> lwk::Result<void, Failure> {
                        auto new_name = c_text(to, "new name");
                        if (!new_name) return lwk::unexpected(std::move(new_name).error());
                        return manager::rename(sets, set, *new_name);
                      });
}

namespace {

// The octets of the request numbered `request` (LW_REQUEST_...).
lwk::Result<std::string, Failure> request_octets(int request, const char* sets_json) {
  switch (request) {
    case LW_REQUEST_APPLY: {
      auto sets = parsed(sets_json);
      if (!sets) return lwk::unexpected(std::move(sets).error());
      return manager::encode(hosts_ipc::ApplySets{manager::to_wire(*sets)});
    }
    case LW_REQUEST_FLUSH: return manager::encode(hosts_ipc::FlushNameCache{});
    case LW_REQUEST_REMOVE_EVERYTHING: return manager::encode(hosts_ipc::RemoveEverything{});
    default: break;
  }
  return bad_input("there is no request numbered " + std::to_string(request));
}

}  // namespace

int encode(int request, const char* sets_json, char** octets, std::size_t* length) noexcept {
  if (octets == nullptr || length == nullptr) {
    return fail(LW_BAD_INPUT, "no place was given for the request");
  }
  *octets = nullptr;
  *length = 0;
  auto bytes = request_octets(request, sets_json);
  if (!bytes) return fail(bytes.error());
  *octets = handed_out(*bytes);
  *length = bytes->size();
  return succeed();
}

int decode(const char* octets, std::size_t length, char** response) noexcept {
  if (response == nullptr) return fail(LW_BAD_INPUT, "no place was given for the response");
  *response = nullptr;
  if (octets == nullptr && length > 0) {
    return fail(LW_BAD_INPUT, "octets were counted but not given");
  }
  auto decoded = manager::decode(std::string_view(octets == nullptr ? "" : octets, length));
  if (!decoded) return fail(decoded.error());
  *response = handed_out(responses::to_json(*decoded));
  return succeed();
}

int flush(char** response) noexcept {
  if (response == nullptr) return fail(LW_BAD_INPUT, "no place was given for the response");
  *response = nullptr;
  return answered(manager::ask(hosts_ipc::FlushNameCache{}), response);
}

int remove_everything(char** response) noexcept {
  if (response == nullptr) return fail(LW_BAD_INPUT, "no place was given for the response");
  *response = nullptr;
  return answered(manager::ask(hosts_ipc::RemoveEverything{}), response);
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

int lw_shadowed(const char* sets_json, char** notes) { return c::shadowed(sets_json, notes); }

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
