#include "polkit/authority_linux.h"

#include <poll.h>
#include <systemd/sd-bus.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>

#include "base/io_error.h"
#include "base/result.h"

namespace hosts_polkit {
namespace {

using Clock = std::chrono::steady_clock;

// CheckAuthorization's flag that lets polkit ask the user through an agent.
constexpr std::uint32_t ALLOW_USER_INTERACTION = 1;

struct CloseBus {
  void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
struct UnrefMessage {
  void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct UnrefSlot {
  void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using Bus = std::unique_ptr<sd_bus, CloseBus>;
using Message = std::unique_ptr<sd_bus_message, UnrefMessage>;
using Slot = std::unique_ptr<sd_bus_slot, UnrefSlot>;

// Why polkit could not be asked, in a few words, and whether that passes:
// no answer in time, or the helper stopping, says nothing of the caller.
struct Failure {
  std::string why;
  bool passing = false;

  Failure(std::string why_, bool passing_ = false) : why(std::move(why_)), passing(passing_) {}
  Failure(const char* why_) : why(why_) {}
};

// What polkit said, read from its (bba{ss}) answer.
struct Answer {
  bool authorized = false;
  bool challenge = false;  // an authentication was needed, and none was given
  bool dismissed = false;  // the user dismissed the authentication
};

std::string os_reason(int negative_errno) {
  return lwk::IoError::from_errno(-negative_errno).message;
}

lwk::Result<Bus, Failure> open_bus(const std::optional<std::string>& address) {
  sd_bus* raw = nullptr;
  if (!address) {
    const int r = sd_bus_open_system(&raw);
    Bus bus(raw);
    if (r < 0) return lwk::unexpected("cannot connect to the system bus: " + os_reason(r));
    return bus;
  }
  int r = sd_bus_new(&raw);
  Bus bus(raw);
  if (r >= 0) r = sd_bus_set_address(raw, address->c_str());
  if (r >= 0) r = sd_bus_set_bus_client(raw, 1);
  if (r >= 0) r = sd_bus_start(raw);
  if (r < 0)
    return lwk::unexpected("cannot connect to the bus at " + *address + ": " + os_reason(r));
  return bus;
}

// What a wait on the bus also watches: the process that asked, whose end
// leaves nobody to answer for, and the helper's stop, which must not wait
// for a person who may never answer. -1 for either: not watched.
struct Watched {
  int pidfd = -1;
  int stop = -1;
};

// Lets the connection do its work (authenticating, sending, receiving)
// until `done()` holds, `deadline` has passed, the process that asked has
// ended, or a stop was asked for.
template <class Done>
lwk::Result<void, Failure> drive(sd_bus* bus, Done done, Clock::time_point deadline,
                                 std::chrono::milliseconds limit, Watched watched_too) {
  for (;;) {
    const int processed = sd_bus_process(bus, nullptr);
    if (processed < 0) return lwk::unexpected("the bus connection failed: " + os_reason(processed));
    if (done()) return lwk::success();
    const auto now = Clock::now();
    if (now >= deadline) {
      return lwk::unexpected(
          Failure("no answer within " + std::to_string(limit.count()) + " ms", true));
    }
    // Work done may leave more to do at once: no waiting then.
    if (processed > 0) continue;
    const int events = sd_bus_get_events(bus);
    if (events < 0) return lwk::unexpected("waiting on the bus failed: " + os_reason(events));
    // poll() passes over a negative descriptor.
    pollfd watched[3] = {{sd_bus_get_fd(bus), static_cast<short>(events), 0},
                         {watched_too.pidfd, POLLIN, 0},
                         {watched_too.stop, POLLIN, 0}};
    // The bus's own time (a reply's timeout) may come before the deadline.
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    std::uint64_t until = 0;
    if (sd_bus_get_timeout(bus, &until) >= 0 && until != UINT64_MAX) {
      timespec monotonic{};
      (void)::clock_gettime(CLOCK_MONOTONIC, &monotonic);
      const std::uint64_t at = static_cast<std::uint64_t>(monotonic.tv_sec) * 1000000u +
                               static_cast<std::uint64_t>(monotonic.tv_nsec) / 1000u;
      const auto bus_left = std::chrono::milliseconds(until > at ? (until - at + 999) / 1000 : 0);
      left = std::min(left, bus_left);
    }
    const int ready = ::poll(watched, 3, static_cast<int>(left.count()));
    if (ready < 0 && errno != EINTR) {
      return lwk::unexpected("waiting on the bus failed: " + os_reason(-errno));
    }
    if ((watched[2].revents & POLLIN) != 0) {
      return lwk::unexpected(Failure("the helper is stopping", true));
    }
    if ((watched[1].revents & POLLIN) != 0) {
      return lwk::unexpected("the process that asked ended before the answer");
    }
  }
}

// The question: CheckAuthorization((sa{sv}) subject, s action_id,
// a{ss} details, u flags, s cancellation_id).
lwk::Result<Message, Failure> question_for(sd_bus* bus, const Subject& subject) {
  sd_bus_message* raw = nullptr;
  int r = sd_bus_message_new_method_call(
      bus, &raw, "org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority",
      "org.freedesktop.PolicyKit1.Authority", "CheckAuthorization");
  Message call(raw);
  if (r >= 0) r = sd_bus_message_open_container(raw, 'r', "sa{sv}");
  if (r >= 0) r = sd_bus_message_append(raw, "s", "unix-process");
  if (r >= 0) r = sd_bus_message_open_container(raw, 'a', "{sv}");
  if (r >= 0) {
    r = sd_bus_message_append(
        raw, "{sv}{sv}{sv}", "pid", "u", static_cast<std::uint32_t>(subject.pid), "start-time", "t",
        subject.start_time, "uid", "i", static_cast<std::int32_t>(subject.uid));
  }
  // A bus that passes no descriptors gets the question without the pidfd;
  // the pid and its start time still name the process. sd-bus sends a
  // duplicate of the descriptor, so the caller's stays open.
  if (r >= 0 && subject.pidfd >= 0 && sd_bus_can_send(bus, SD_BUS_TYPE_UNIX_FD) > 0) {
    r = sd_bus_message_append(raw, "{sv}", "pidfd", "h", subject.pidfd);
  }
  if (r >= 0) r = sd_bus_message_close_container(raw);
  if (r >= 0) r = sd_bus_message_close_container(raw);
  if (r >= 0) {
    const std::string action(ACTION);
    r = sd_bus_message_append(raw, "sa{ss}us", action.c_str(), 0u, ALLOW_USER_INTERACTION, "");
  }
  if (r < 0) return lwk::unexpected("cannot build the question: " + os_reason(r));
  return call;
}

lwk::Result<Answer, Failure> answer_in(sd_bus_message* reply) {
  if (sd_bus_message_is_method_error(reply, nullptr) > 0) {
    const sd_bus_error* error = sd_bus_message_get_error(reply);
    return lwk::unexpected(std::string("the bus answered ") + error->name + ": " +
                           (error->message != nullptr ? error->message : "(no message)"));
  }
  if (sd_bus_message_has_signature(reply, "(bba{ss})") <= 0) {
    const char* signature = sd_bus_message_get_signature(reply, 1);
    return lwk::unexpected(std::string("the answer has the signature \"") +
                           (signature != nullptr ? signature : "") + "\", not \"(bba{ss})\"");
  }
  int authorized = 0;
  int challenge = 0;
  Answer answer;
  int r = sd_bus_message_enter_container(reply, 'r', "bba{ss}");
  if (r >= 0) r = sd_bus_message_read(reply, "bb", &authorized, &challenge);
  if (r >= 0) r = sd_bus_message_enter_container(reply, 'a', "{ss}");
  while (r > 0) {
    const char* key = nullptr;
    const char* value = nullptr;
    r = sd_bus_message_read(reply, "{ss}", &key, &value);
    if (r > 0 && std::string_view(key) == "polkit.dismissed" && std::string_view(value) == "true") {
      answer.dismissed = true;
    }
  }
  if (r < 0) return lwk::unexpected("cannot read the answer: " + os_reason(r));
  answer.authorized = authorized != 0;
  answer.challenge = challenge != 0;
  return answer;
}

int keep_reply(sd_bus_message* reply, void* userdata, sd_bus_error* /*error*/) {
  static_cast<Message*>(userdata)->reset(sd_bus_message_ref(reply));
  return 1;
}

lwk::Result<Answer, Failure> check(const std::optional<std::string>& address,
                                   const Subject& subject, std::chrono::milliseconds limit,
                                   int stop) {
  const Watched watched{subject.pidfd, stop};
  if (pollfd asked{stop, POLLIN, 0}; ::poll(&asked, 1, 0) > 0 && (asked.revents & POLLIN) != 0) {
    return lwk::unexpected(Failure("the helper is stopping", true));
  }
  const auto deadline = Clock::now() + limit;
  auto bus = open_bus(address);
  if (!bus) return lwk::unexpected(std::move(bus).error());
  sd_bus* raw = bus->get();
  // Whether descriptors may be sent is known once the connection is up.
  auto ready = drive(
      raw, [raw] { return sd_bus_is_ready(raw) > 0; }, deadline, limit, watched);
  if (!ready) return lwk::unexpected(std::move(ready).error());
  auto question = question_for(raw, subject);
  if (!question) return lwk::unexpected(std::move(question).error());

  Message reply;  // declared before the slot, which refers to it
  sd_bus_slot* raw_slot = nullptr;
  // sd-bus's own time limit lies past the deadline, so that drive() alone
  // decides when waiting ends, and says so in its words.
  const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now());
  const auto sd_bus_limit = std::max(left, std::chrono::microseconds(0)) + std::chrono::seconds(1);
  const int r = sd_bus_call_async(raw, &raw_slot, question->get(), keep_reply, &reply,
                                  static_cast<std::uint64_t>(sd_bus_limit.count()));
  Slot slot(raw_slot);
  if (r < 0) return lwk::unexpected("cannot send the question: " + os_reason(r));
  auto answered = drive(
      raw, [&reply] { return reply != nullptr; }, deadline, limit, watched);
  if (!answered) return lwk::unexpected(std::move(answered).error());
  return answer_in(reply.get());
}

}  // namespace

Decision Authority::ask(const Subject& subject, std::chrono::milliseconds limit, int stop) const {
  const std::string who =
      " the action " + std::string(ACTION) + " for uid " + std::to_string(subject.uid);
  auto answer = check(address_, subject, limit, stop);
  if (!answer) {
    const Failure& failure = answer.error();
    if (failure.passing) return Decision{false, "no decision on" + who + ": " + failure.why, true};
    return Decision{false, "refused" + who + ": polkit could not be asked: " + failure.why};
  }
  if (answer->authorized) return Decision{true, ""};
  std::string refusal = "polkit refused" + who;
  if (answer->dismissed) {
    refusal += ": the authentication was dismissed";
  } else if (answer->challenge) {
    refusal += ": it needs an authentication that no agent asked for";
  }
  return Decision{false, std::move(refusal)};
}

}  // namespace hosts_polkit
