// A stand-in for polkit on a test's own bus: owns org.freedesktop.PolicyKit1
// and answers CheckAuthorization by the subject's uid, from the table below;
// a refusal comes kRefusalTime after the question, as polkitd's does.
// Every question, and every agent that registers, is recorded as one line of
// the log file. Prints "ready" once it owns the name.
//
// usage: fake_authority BUS_ADDRESS LOG_FILE
#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// The answers, by the subject's uid.
constexpr std::int32_t UID_AUTHORIZED = 1001;
constexpr std::int32_t UID_DISMISSED = 1003;
constexpr std::int32_t UID_CHALLENGED = 1004;
constexpr std::int32_t UID_NEVER_ANSWERED = 1005;
constexpr std::int32_t UID_WRONG_REPLY = 1006;  // every other uid is refused

// How long polkitd takes to refuse, rules and all.
constexpr std::chrono::milliseconds kRefusalTime{20};

FILE* log_file = nullptr;
std::vector<sd_bus_message*> unanswered;
// Refusals to be answered, each at its time, in order.
std::deque<std::pair<sd_bus_message*, std::chrono::steady_clock::time_point>> refusals_due;

// The pid a pidfd refers to, from the kernel's fdinfo.
std::string pid_of_pidfd(int fd) {
  std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
  for (std::string line; std::getline(info, line);) {
    if (line.rfind("Pid:", 0) == 0) return line.substr(line.find_first_not_of(" \t", 4));
  }
  return "unreadable";
}

// Reads a (sa{sv}) subject and gives it as "kind pid=P uid=U start-time=S pidfd=P|none".
std::string read_subject(sd_bus_message* m, std::int32_t& uid) {
  const char* kind = "";
  std::uint32_t pid = 0;
  std::uint64_t start = 0;
  std::string pidfd = "none";
  uid = -1;
  sd_bus_message_enter_container(m, 'r', "sa{sv}");
  sd_bus_message_read(m, "s", &kind);
  const std::string text = kind;
  sd_bus_message_enter_container(m, 'a', "{sv}");
  while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
    const char* key = "";
    sd_bus_message_read(m, "s", &key);
    const std::string name = key;
    int fd = -1;
    if (name == "pid") {
      sd_bus_message_read(m, "v", "u", &pid);
    } else if (name == "start-time") {
      sd_bus_message_read(m, "v", "t", &start);
    } else if (name == "uid") {
      sd_bus_message_read(m, "v", "i", &uid);
    } else if (name == "pidfd" && sd_bus_message_read(m, "v", "h", &fd) > 0) {
      pidfd = pid_of_pidfd(fd);
    } else {
      sd_bus_message_skip(m, "v");
    }
    sd_bus_message_exit_container(m);
  }
  sd_bus_message_exit_container(m);
  sd_bus_message_exit_container(m);
  return text + " pid=" + std::to_string(pid) + " uid=" + std::to_string(uid) +
         " start-time=" + std::to_string(start) + " pidfd=" + pidfd;
}

void record(const std::string& line) {
  (void)std::fprintf(log_file, "%s\n", line.c_str());
  (void)std::fflush(log_file);
}

// A filter, not a method of the vtable below: sd-bus would hold a method's
// replies to the signature the vtable declares, and this one answers with
// the wrong type on purpose.
int check_authorization(sd_bus_message* m, void* /*userdata*/, sd_bus_error* /*error*/) {
  if (sd_bus_message_is_method_call(m, "org.freedesktop.PolicyKit1.Authority",
                                    "CheckAuthorization") <= 0) {
    return 0;
  }
  std::int32_t uid = -1;
  const std::string subject = read_subject(m, uid);
  const char* action = "";
  std::uint32_t flags = 0;
  const char* cancellation = "";
  sd_bus_message_read(m, "s", &action);
  sd_bus_message_skip(m, "a{ss}");
  sd_bus_message_read(m, "us", &flags, &cancellation);
  record("check " + subject + " action=" + action + " flags=" + std::to_string(flags) +
         " cancellation='" + cancellation + "'");
  switch (uid) {
    case UID_AUTHORIZED: return sd_bus_reply_method_return(m, "(bba{ss})", 1, 0, 0);
    case UID_DISMISSED:
      return sd_bus_reply_method_return(m, "(bba{ss})", 0, 0, 1, "polkit.dismissed", "true");
    case UID_CHALLENGED: return sd_bus_reply_method_return(m, "(bba{ss})", 0, 1, 0);
    case UID_NEVER_ANSWERED: unanswered.push_back(sd_bus_message_ref(m)); return 1;
    case UID_WRONG_REPLY: return sd_bus_reply_method_return(m, "s", "yes");
    default:
      refusals_due.emplace_back(sd_bus_message_ref(m),
                                std::chrono::steady_clock::now() + kRefusalTime);
      return 1;
  }
}

int register_agent(sd_bus_message* m, void* /*userdata*/, sd_bus_error* /*error*/) {
  std::int32_t uid = -1;
  record("agent " + read_subject(m, uid));
  return sd_bus_reply_method_return(m, "");
}

int unregister_agent(sd_bus_message* m, void* /*userdata*/, sd_bus_error* /*error*/) {
  return sd_bus_reply_method_return(m, "");
}

const sd_bus_vtable authority[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("RegisterAuthenticationAgent", "(sa{sv})ss", "", register_agent, 0),
    SD_BUS_METHOD("RegisterAuthenticationAgentWithOptions", "(sa{sv})ssa{sv}", "", register_agent,
                  0),
    SD_BUS_METHOD("UnregisterAuthenticationAgent", "(sa{sv})s", "", unregister_agent, 0),
    SD_BUS_VTABLE_END};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    (void)std::fprintf(stderr, "usage: %s BUS_ADDRESS LOG_FILE\n", argv[0]);
    return 2;
  }
  log_file = std::fopen(argv[2], "a");
  sd_bus* bus = nullptr;
  if (log_file == nullptr || sd_bus_new(&bus) < 0 || sd_bus_set_address(bus, argv[1]) < 0 ||
      sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0 ||
      sd_bus_add_filter(bus, nullptr, check_authorization, nullptr) < 0 ||
      sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/PolicyKit1/Authority",
                               "org.freedesktop.PolicyKit1.Authority", authority, nullptr) < 0 ||
      sd_bus_request_name(bus, "org.freedesktop.PolicyKit1", 0) < 0) {
    (void)std::fprintf(stderr, "fake_authority: cannot serve on %s\n", argv[1]);
    return 1;
  }
  (void)std::printf("ready\n");
  (void)std::fflush(stdout);
  for (;;) {
    const int r = sd_bus_process(bus, nullptr);
    if (r < 0) return 1;
    const auto now = std::chrono::steady_clock::now();
    while (!refusals_due.empty() && refusals_due.front().second <= now) {
      sd_bus_message* m = refusals_due.front().first;
      refusals_due.pop_front();
      (void)sd_bus_reply_method_return(m, "(bba{ss})", 0, 0, 0);
      sd_bus_message_unref(m);
    }
    if (r > 0) continue;
    std::uint64_t wait = UINT64_MAX;
    if (!refusals_due.empty()) {
      wait = static_cast<std::uint64_t>(
          std::chrono::ceil<std::chrono::microseconds>(refusals_due.front().second - now).count());
    }
    if (sd_bus_wait(bus, wait) < 0) return 1;
  }
}
