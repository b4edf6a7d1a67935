#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "polkit/authority_linux.h"
#include "polkit/gate_linux.h"
#include "polkit/test_bus.h"

namespace {

using namespace std::chrono_literals;
using hosts_polkit::Authority;
using hosts_polkit::Subject;

// Every way the answer can go, against the fake authority's table of
// answers by uid, a bus without polkit and a bus that is not there.
TEST(AuthorityTest, AuthorizesOnlyWhatPolkitAuthorizes) {
  if (access(polkit_test::DBUS_DAEMON, X_OK) != 0) GTEST_SKIP() << "dbus-daemon is not installed";
  polkit_test::TestBus with_polkit;
  ASSERT_TRUE(with_polkit.start(/*with_authority=*/true));
  polkit_test::TestBus without_polkit;
  ASSERT_TRUE(without_polkit.start(/*with_authority=*/false));

  const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, getpid(), 0));
  ASSERT_GE(pidfd, 0);
  const std::string action(hosts_polkit::ACTION);
  const std::string polkit_refused = "polkit refused the action " + action + " for uid ";
  const std::string not_asked = ": polkit could not be asked: ";
  struct Case {
    const char* name;
    std::string address;
    uid_t uid;
    int pidfd;
    bool authorized;
    std::string refusal;  // what the sentence starts with
    bool later = false;
  };
  const std::string polkit = with_polkit.address();
  const std::vector<Case> cases = {
      {"authorized, with the pidfd", polkit, 1001, pidfd, true, ""},
      {"refused", polkit, 1002, -1, false, polkit_refused + "1002"},
      {"dismissed", polkit, 1003, -1, false,
       polkit_refused + "1003: the authentication was dismissed"},
      {"no agent", polkit, 1004, -1, false,
       polkit_refused + "1004: it needs an authentication that no agent asked for"},
      {"no answer in time: no decision", polkit, 1005, -1, false,
       "no decision on the action " + action + " for uid 1005: no answer within 300 ms", true},
      {"an answer of the wrong type", polkit, 1006, -1, false,
       "refused the action " + action + " for uid 1006" + not_asked +
           "the answer has the signature \"s\", not \"(bba{ss})\""},
      {"no polkit on the bus", without_polkit.address(), 1002, -1, false,
       "refused the action " + action + " for uid 1002" + not_asked +
           "the bus answered org.freedesktop.DBus.Error.ServiceUnknown: "},
      {"no bus", with_polkit.nowhere(), 1002, -1, false,
       "refused the action " + action + " for uid 1002" + not_asked +
           "cannot connect to the bus at " + with_polkit.nowhere() +
           ": No such file or directory (os error 2)"},
  };
  constexpr auto limit = 300ms;
  std::string questions;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Subject subject{getpid(), c.uid, 0x1'2345'6789, c.pidfd};
    const auto begun = std::chrono::steady_clock::now();
    const auto decision = Authority(c.address).ask(subject, limit);
    EXPECT_LT(std::chrono::steady_clock::now() - begun, limit + 100ms);
    EXPECT_EQ(decision.authorized, c.authorized);
    EXPECT_EQ(decision.refusal.substr(0, c.refusal.size()), c.refusal) << decision.refusal;
    EXPECT_EQ(decision.later, c.later);
    if (c.address == polkit) {
      questions +=
          "check unix-process pid=" + std::to_string(getpid()) + " uid=" + std::to_string(c.uid) +
          " start-time=4886718345 pidfd=" + (c.pidfd >= 0 ? std::to_string(getpid()) : "none") +
          " action=" + action + " flags=1 cancellation=''\n";
    }
  }
  EXPECT_EQ(with_polkit.log(), questions);
  close(pidfd);
}

// A question is given up at once, with no decision, when the process that
// asked ends (no one is left to answer for) or a stop is asked for (a
// prompt nobody answers must not hold it): what it waited for never comes.
TEST(AuthorityTest, GivesUpWhenTheAskerEndsOrAStopIsAsked) {
  if (access(polkit_test::DBUS_DAEMON, X_OK) != 0) GTEST_SKIP() << "dbus-daemon is not installed";
  polkit_test::TestBus bus;
  ASSERT_TRUE(bus.start(/*with_authority=*/true));
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop ? "a stop" : "the asker ends");
    int watch[2];
    ASSERT_EQ(pipe(watch), 0);
    const pid_t child = fork();
    if (child == 0) {
      usleep(200000);
      if (stop) (void)!write(watch[1], "s", 1);
      _exit(0);
    }
    ASSERT_GT(child, 0);
    // The asker: the child itself, or this process, which outlives the stop.
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, stop ? getpid() : child, 0));
    ASSERT_GE(pidfd, 0);
    const auto begun = std::chrono::steady_clock::now();
    const auto decision = Authority(bus.address())
                              .ask({stop ? getpid() : child, 1005, 1, pidfd}, 10s,
                                   stop ? watch[0] : -1);  // never answered
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 5s);
    EXPECT_FALSE(decision.authorized);
    EXPECT_EQ(decision.later, stop);
    const std::string why =
        stop ? ": the helper is stopping" : ": the process that asked ended before the answer";
    EXPECT_NE(decision.refusal.find(why), std::string::npos) << decision.refusal;
    close(pidfd);
    close(watch[0]);
    close(watch[1]);
    waitpid(child, nullptr, 0);
  }
}

}  // namespace

namespace {

// While two decisions are awaited, a third caller gets no decision at once,
// and neither does a second request of a uid whose decision is awaited;
// once one ends, there is room again. A prompt nobody answers holds one
// place, never more.
TEST(GateTest, BoundsTheDecisionsAwaitedAtOnce) {
  hosts_polkit::Gate gate(2);
  std::mutex mutex;
  std::condition_variable changed;
  int waiting = 0;
  bool release = false;
  const auto held = [&] {
    std::unique_lock lock(mutex);
    ++waiting;
    changed.notify_all();
    changed.wait(lock, [&] { return release; });
    return hosts_polkit::Decision{true, ""};
  };
  std::thread first([&] { EXPECT_TRUE(gate.pass(1001, held).authorized); });
  std::thread second([&] { EXPECT_TRUE(gate.pass(1002, held).authorized); });
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, 5s, [&] { return waiting == 2; }));
  }
  int asked = 0;
  const auto answer = [&] {
    ++asked;
    return hosts_polkit::Decision{true, ""};
  };
  const std::string action(hosts_polkit::ACTION);
  const hosts_polkit::Decision full = gate.pass(1003, answer);
  EXPECT_EQ(full.refusal, "no decision on the action " + action +
                              " for uid 1003: polkit is deciding as many requests of others as "
                              "it may at once");
  const hosts_polkit::Decision again = gate.pass(1001, answer);
  EXPECT_EQ(again.refusal, "no decision on the action " + action +
                               " for uid 1001: polkit is still deciding an earlier request of it");
  EXPECT_TRUE(full.later && again.later);
  EXPECT_EQ(asked, 0);
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  changed.notify_all();
  first.join();
  second.join();
  EXPECT_TRUE(gate.pass(1003, answer).authorized);
  EXPECT_TRUE(gate.pass(1001, answer).authorized);
  EXPECT_EQ(asked, 2);
}

}  // namespace
