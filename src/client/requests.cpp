// Requests to the helper: their octets, the way there, and the response.
#include <utility>

#include "client/failures.h"
#include "client/helper_link.h"
#include "client/manager.h"

namespace lantern_wharf::manager {

Failure request_too_big(std::string_view octets) {
  return Failure{Failure::Kind::BadInput,
                 "the request is " + std::string(octets) +
                     " octets, and a message to the helper carries at most " +
                     std::to_string(request_limit()),
                 {}};
}

lwk::Result<std::string, Failure> encode(const hosts_ipc::Request& request) {
  std::string octets = hosts_ipc::encode_request(request);
  if (octets.size() > request_limit()) {
    return lwk::unexpected(request_too_big(std::to_string(octets.size())));
  }
  return octets;
}

Failure response_too_big(std::string_view octets) {
  return Failure{Failure::Kind::BadInput,
                 "the response is " + std::string(octets) +
                     " octets, and the client decodes at most " + std::to_string(RESPONSE_LIMIT),
                 {}};
}

lwk::Result<hosts_ipc::Response, Failure> decode(std::string_view octets) {
  if (octets.size() > RESPONSE_LIMIT) {
    return lwk::unexpected(response_too_big(std::to_string(octets.size())));
  }
  if (octets.empty()) {
    return bad_input("no response: an empty reply is the helper's refusal of the caller");
  }
  auto response = hosts_ipc::decode_response(octets);
  if (!response) {
    return bad_input("the octets are no response: " + hosts_ipc::describe(response.error()));
  }
  return std::move(*response);
}

lwk::Result<std::string, Failure> send(std::string_view request) {
  if (request.size() > request_limit()) {
    return lwk::unexpected(request_too_big(std::to_string(request.size())));
  }
  auto reply = exchange(request);
  if (!reply) return fails(Failure::Kind::Unreachable, std::move(reply).error());
  switch (reply->kind) {
    case Reply::Kind::NotServed: return fails(Failure::Kind::NotServed, not_served());
    case Reply::Kind::NotNow: return fails(Failure::Kind::NotNow, not_now());
    case Reply::Kind::Response: break;
  }
  return std::move(reply->response);
}

lwk::Result<hosts_ipc::Response, Failure> ask(const hosts_ipc::Request& request) {
  auto octets = encode(request);
  if (!octets) return lwk::unexpected(std::move(octets).error());
  auto answer = send(*octets);
  if (!answer) return lwk::unexpected(std::move(answer).error());
  auto response = hosts_ipc::decode_response(*answer);
  if (!response) {
    return refused("the helper's answer is no response: " + hosts_ipc::describe(response.error()));
  }
  return std::move(*response);
}

lwk::Result<hosts_ipc::Response, Failure> apply(const Sets& sets) {
  if (auto ok = sendable(sets); !ok) return lwk::unexpected(std::move(ok).error());
  Sets kept = sets;
  (void)keep_repeats_off(kept);
  return ask(hosts_ipc::ApplySets{to_wire(kept)});
}

}  // namespace lantern_wharf::manager
