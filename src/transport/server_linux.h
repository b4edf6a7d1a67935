// The helper's listener on Linux: a Unix stream socket in place of the Mach
// service, carrying the frames of transport/frame.h.
//
// One thread polls every connection, reads frames from it and writes the
// replies to it, never blocking on either; a small pool of workers runs the
// handler on each complete message. Each caller is taken when its connection
// is accepted (peer_linux.h), and the caller check is asked then whether
// it is one the service serves ("served"); that choice only decides which
// share of the bounds below the connection draws on, for the handler checks
// every message again.
//
// The bounds that hold:
// - at most `max_connections` connections are open, fewer where the open-file
//   limit is lower: each takes two descriptors (its socket and its caller's
//   pidfd), and `reserved_descriptors` are kept for the caller check, the
//   files and the cache commands. Callers that are not served may hold all
//   but `served_connections` of them, and those of one uid at most
//   `connections_per_uid`; a further connection is closed as soon as it is
//   accepted.
//   After the descriptor table was found full, the listening socket is left
//   alone for `accept_pause`;
// - a connection that has no frame under way and is owed no reply is ended
//   once it has been idle for `idle_time`;
// - messages of one connection are handled one at a time, in order: from
//   the end of a frame until its reply has been sent, nothing more is read
//   from that connection. A message that wanted a reply and was given none
//   by the handler ends its connection;
// - the served callers' messages are handled by `served_workers` workers,
//   the others' by `others_workers` of their own (the operations themselves
//   still run one at a time, under the service lock): a flood of requests
//   that are refused, or a polkit prompt nobody answers, never takes a
//   served caller's worker. With no workers of their own, the others'
//   messages are taken by the served callers' workers, after theirs;
// - the others' messages are shared fairly between their uids: the uids with
//   messages waiting take their turns in order, one message a turn, at most
//   `others_per_second` begun a second in all. So a flood of one uid's
//   requests (refused as fast as they come) waits on that uid's turns alone,
//   and the processor time the others cost the service is bounded. How long
//   one message of theirs may hold a worker is the handler's to bound (a
//   polkit decision: one under way for each uid, a few in all);
// - what a connection holds (the frame being read, the message being
//   handled, or the reply being sent, counted by the memory their buffers
//   take, unused room included) is free up to `allowance` octets; beyond
//   that it is charged to a budget of `buffer_budget` octets, split in two:
//   `served_share` for served callers, the rest for the others, so that no
//   caller the service does not serve can starve one it does. A frame is
//   read beyond its allowance only as far as its share has room; a message
//   is handled only while its share's replies still fit in that share (a
//   reply counts from the moment its handling ends), and those over the
//   allowance one at a time in each share;
// - a frame must arrive whole within `frame_time` of its first octet, or its
//   connection is ended: waiting on a spent share included, so that nobody
//   keeps a share spent for longer than that, and those who spent it first
//   are ended first. A connection that does not take its whole reply within
//   `reply_timeout` is ended too, and what it was charged is given back.
//
// Memory. A reply can be far larger than its request, since every issue of
// every line is answered: a request of a million one-octet lines (6 MB on
// the wire) is answered with 58 MB. So the helper's memory stays within
// `buffer_budget`, plus `allowance` a connection, plus the one reply in each
// share that may go beyond it, plus the working memory of the messages being
// handled (the largest: the check of such a request, about 250 MB while it
// runs, one at a time under the service lock), plus, for the moment a
// frame's buffer is moved into a larger one, the old buffer of that one
// frame, plus the allocator's own.
#ifndef LWK_TRANSPORT_SERVER_LINUX_H_
#define LWK_TRANSPORT_SERVER_LINUX_H_

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "base/result.h"
#include "identity/caller_linux.h"
#include "transport/message.h"

namespace hosts_transport {

struct ServerLimits {
  std::size_t max_connections = 1024;
  std::size_t served_connections = 64;
  std::size_t connections_per_uid = 256;
  std::size_t reserved_descriptors = 64;
  std::size_t served_workers = 2;
  std::size_t others_workers = 6;
  std::size_t others_per_second = 200;
  std::size_t allowance = 64u << 10;
  std::size_t buffer_budget = 64u << 20;
  std::size_t served_share = 32u << 20;
  std::chrono::milliseconds frame_time{std::chrono::seconds(10)};
  std::chrono::milliseconds idle_time{std::chrono::seconds(10)};
  std::chrono::milliseconds reply_timeout{std::chrono::seconds(10)};
  std::chrono::milliseconds accept_pause{100};
};

// Listens on a new Unix stream socket at `path`, owned by root and `group`
// with mode 0666: every local user may connect, and the caller check
// decides whom the helper serves. A stale socket there (nothing answers on it) is replaced;
// one that a helper is serving on, or any entry that is not a socket, is
// left alone, and the answer is the sentence that says so. Returns the
// listening descriptor.
lwk::Result<int, std::string> listen_at(const std::string& path, gid_t group);

// The connections `limits` allows when `open_files` descriptors may be open.
std::size_t connection_bound(const ServerLimits& limits, std::size_t open_files);

class Server {
 public:
  using Handler = std::function<void(Message&)>;
  // Whether the caller is one the service serves without asking anyone (no
  // prompt can hold the polling thread); asked once per connection, on the
  // polling thread.
  using Served = std::function<bool(const identity::Caller&)>;

  // Serves on the listening socket `listening`, which it takes over.
  Server(int listening, Handler handler, Served served, ServerLimits limits = {});
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Serves until a stop is asked for (also before run() began); then
  // accepts and reads nothing more, lets every message already read be
  // handled and its reply be sent (each within `reply_timeout`), and
  // returns. The messages of callers not served that no worker has begun
  // are told to ask again in a moment (Message::send_not_now), unhandled.
  void run();

  // Asks the server that runs, or the next one to run, to stop.
  // Async-signal-safe: a signal handler may call it.
  static void request_stop();

  // A descriptor that reads as ready once a stop has been asked for, until
  // the server that ran has returned: what a handler waits on (a decision
  // that may never come) watches it, so that no stop waits for it. Owned
  // by the process; never closed.
  static int stop_watch();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace hosts_transport

#endif  // LWK_TRANSPORT_SERVER_LINUX_H_
