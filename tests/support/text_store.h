// Keeps generated texts alive while views into them are in use: the sets of
// the wire format and of the model view their texts, as in the service they
// view the request's bytes.
#ifndef LWK_TESTS_SUPPORT_TEXT_STORE_H_
#define LWK_TESTS_SUPPORT_TEXT_STORE_H_

#include <deque>
#include <string>
#include <string_view>

namespace lwk_test {

class TextStore {
 public:
  // A view of a copy of `text` that stays valid as long as the store does.
  std::string_view keep(std::string text) { return texts_.emplace_back(std::move(text)); }

 private:
  std::deque<std::string> texts_;  // a deque: its elements never move
};

}  // namespace lwk_test

#endif  // LWK_TESTS_SUPPORT_TEXT_STORE_H_
