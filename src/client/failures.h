// How the files of the client's layer (manager.h) make their failures and
// name what a person wrote.
#ifndef LWK_CLIENT_FAILURES_H_
#define LWK_CLIENT_FAILURES_H_

#include <string>
#include <string_view>
#include <utility>

#include "base/result.h"
#include "client/helper_link.h"
#include "client/manager.h"
#include "ipc/wire.h"

namespace lantern_wharf::manager {

inline lwk::Unexpected<Failure> fails(Failure::Kind kind, std::string sentence) {
  return lwk::unexpected(Failure{kind, std::move(sentence), {}});
}

inline lwk::Unexpected<Failure> bad_input(std::string sentence) {
  return fails(Failure::Kind::BadInput, std::move(sentence));
}

inline lwk::Unexpected<Failure> refused(std::string sentence) {
  return fails(Failure::Kind::Refused, std::move(sentence));
}

// Refuses, with request_too_big(), an apply request of `sets` sets and
// `lines` lines whose names and texts hold `octets` octets, when no message
// to the helper carries it: told from the counts, before anything is built.
inline lwk::Result<void, Failure> fits_in_a_message(std::uint64_t sets, std::uint64_t lines,
                                                    std::uint64_t octets) {
  const std::uint64_t size = hosts_ipc::apply_request_octets(sets, lines, octets);
  if (size > request_limit()) return lwk::unexpected(request_too_big(std::to_string(size)));
  return lwk::success();
}

// The refusal of a second set of one name.
inline lwk::Unexpected<Failure> name_taken(std::string_view name);

// `text` between double quotation marks, as the sentences name sets.
inline std::string in_quotes(std::string_view text) {
  std::string out(1, '"');
  out.append(text).push_back('"');
  return out;
}

inline lwk::Unexpected<Failure> name_taken(std::string_view name) {
  return bad_input("there is a set named " + in_quotes(name) + " already");
}

}  // namespace lantern_wharf::manager

#endif  // LWK_CLIENT_FAILURES_H_
