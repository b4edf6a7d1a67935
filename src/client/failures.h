// How the files of the client's layer (manager.h) make their failures and
// name what a person wrote.
#ifndef LWK_CLIENT_FAILURES_H_
#define LWK_CLIENT_FAILURES_H_

#include <string>
#include <string_view>
#include <utility>

#include "base/result.h"
#include "client/manager.h"

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

// `text` between double quotation marks, as the sentences name sets.
inline std::string in_quotes(std::string_view text) {
  std::string out(1, '"');
  out.append(text).push_back('"');
  return out;
}

}  // namespace lantern_wharf::manager

#endif  // LWK_CLIENT_FAILURES_H_
