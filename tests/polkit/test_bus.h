// A message bus of a test's own: dbus-daemon on a socket in a temporary
// directory, with a policy that lets everyone own and call everything, and
// on it, when asked for, the fake polkit authority (fake_authority_linux.cpp).
#ifndef LWK_TESTS_POLKIT_TEST_BUS_H_
#define LWK_TESTS_POLKIT_TEST_BUS_H_

#include <sys/types.h>

#include <string>

namespace polkit_test {

inline constexpr const char* DBUS_DAEMON = "/usr/bin/dbus-daemon";

class TestBus {
 public:
  TestBus() = default;
  TestBus(const TestBus&) = delete;
  TestBus& operator=(const TestBus&) = delete;
  // Ends the daemon and the authority, and removes the directory.
  ~TestBus();

  // Starts the daemon, and the fake authority when `with_authority`; both
  // are ready when it returns true.
  bool start(bool with_authority);
  // The bus's address, for sd-bus or DBUS_SYSTEM_BUS_ADDRESS.
  const std::string& address() const { return address_; }
  // A path in the bus's directory where nothing is listening.
  std::string nowhere() const { return "unix:path=" + dir_ + "/nowhere"; }
  // What the fake authority recorded, one line per question or agent.
  std::string log() const;

 private:
  std::string dir_;
  std::string address_;
  pid_t daemon_ = -1;
  pid_t authority_ = -1;
};

}  // namespace polkit_test

#endif  // LWK_TESTS_POLKIT_TEST_BUS_H_
