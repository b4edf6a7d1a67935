#include "helper_core/serve.h"

namespace hosts_helper_core::serve {

hosts_ipc::Response answer_to(const lwk::Result<bool, std::string>& flushed) {
  if (flushed) return hosts_ipc::Done{};
  return hosts_ipc::Issues{
      {hosts_ipc::request_issue("the name cache would not drop: " + flushed.error())}};
}

}  // namespace hosts_helper_core::serve
