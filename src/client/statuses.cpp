#include "client/statuses.h"

#include "client/lantern_wharf.h"

namespace lantern_wharf {

int status_of(manager::Failure::Kind kind) {
  using Kind = manager::Failure::Kind;
  switch (kind) {
    case Kind::Refused: return LW_ISSUES;
    case Kind::BadInput: return LW_BAD_INPUT;
    case Kind::NotServed: return LW_NOT_SERVED;
    case Kind::Unreachable: return LW_UNREACHABLE;
    case Kind::NotNow: break;
  }
  return LW_NOT_NOW;
}

int status_of(const hosts_ipc::Response& response) {
  return std::visit(hosts_ipc::Overloaded{
                        [](const hosts_ipc::Done&) { return LW_OK; },
                        [](const hosts_ipc::Unchanged&) { return LW_OK; },
                        [](const hosts_ipc::Issues&) { return LW_ISSUES; },
                        [](const hosts_ipc::NotUnderstood&) { return LW_ISSUES; },
                    },
                    response);
}

}  // namespace lantern_wharf
