// The helper's listener on Linux: a Unix stream socket in place of the Mach
// service, carrying the frames of transport/frame.h.
//
// One thread polls every connection and reads frames from it; a small pool of
// workers runs the handler on each complete message. The bounds that hold:
// - at most `max_connections` connections are open; a further one is closed
//   as soon as it is accepted;
// - messages of one connection are handled one at a time, in order: while
//   one is being handled, nothing more is read from that connection;
// - `workers` messages at most are handled at once (the operations
//   themselves still run one at a time, under the service lock);
// - a frame's octets are kept only as they arrive, never as its length
//   announces; beyond the first `allowance` octets of each frame, all
//   connections together keep at most `buffer_budget` octets, and a
//   connection over its allowance is not read while the budget is spent;
// - a frame must arrive whole within `frame_time` of its first octet, or its
//   connection is ended: waiting on a spent budget included, so that nobody
//   keeps the budget spent for longer than that, and those who spent it
//   first are ended first. A connection that does not take its reply within
//   `reply_timeout` is ended too.
// An idle connection costs a descriptor and nothing else.
#ifndef LWK_TRANSPORT_SERVER_LINUX_H_
#define LWK_TRANSPORT_SERVER_LINUX_H_

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "base/result.h"
#include "transport/message.h"

namespace hosts_transport {

struct ServerLimits {
  std::size_t max_connections = 1024;
  std::size_t workers = 4;
  std::size_t allowance = 64u << 10;
  std::size_t buffer_budget = 64u << 20;
  std::chrono::milliseconds frame_time{std::chrono::seconds(10)};
  std::chrono::milliseconds reply_timeout{std::chrono::seconds(60)};
};

// Listens on a new Unix stream socket at `path`, owned by root and `group`
// with mode 0660. A stale socket there (nothing answers on it) is replaced;
// one that a helper is serving on, or any entry that is not a socket, is
// left alone, and the answer is the sentence that says so. Returns the
// listening descriptor.
lwk::Result<int, std::string> listen_at(const std::string& path, gid_t group);

class Server {
 public:
  using Handler = std::function<void(Message&)>;

  // Serves on the listening socket `listening`, which it takes over.
  Server(int listening, Handler handler, ServerLimits limits = {});
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Serves until a stop is asked for; then accepts nothing more, lets every
  // message already read be handled and answered, and returns.
  void run();

  // Asks the running server to stop. Async-signal-safe: a signal handler
  // may call it.
  static void request_stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace hosts_transport

#endif  // LWK_TRANSPORT_SERVER_LINUX_H_
