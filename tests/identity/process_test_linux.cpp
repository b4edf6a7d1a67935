// The start time of a process, which tells a Linux caller from a later
// holder of its pid, read from /proc/PID/stat for real processes whose
// program name holds what makes that line hard to read: ")", "(", spaces,
// digits and a line feed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "identity/process_linux.h"

namespace {

std::string read_whole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Field 22 of /proc/PID/stat, read as the proc(5) manual lays the line out:
// with sscanf, after the ") " that ends the program name.
std::optional<unsigned long long> start_time_by_scanf(pid_t pid) {
  const std::string stat = read_whole("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(") ");
  if (close == std::string::npos) return std::nullopt;
  unsigned long long start = 0;
  const int read = std::sscanf(stat.c_str() + close + 2,
                               "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d "
                               "%*d %*d %*d %llu",
                               &start);
  if (read != 1) return std::nullopt;
  return start;
}

// A child of this process that renames itself (prctl PR_SET_NAME) when told
// to, and waits until destroyed. Between fork and exit it makes only
// async-signal-safe calls.
class RenamingChild {
 public:
  explicit RenamingChild(const std::string& name) {
    EXPECT_EQ(::pipe2(go_, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(renamed_, O_CLOEXEC), 0);
    char wanted[16] = {};
    name.copy(wanted, sizeof wanted - 1);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(go_[1]);
      ::close(renamed_[0]);
      char byte = 0;
      if (::read(go_[0], &byte, 1) != 1) ::_exit(1);
      const char ok = ::prctl(PR_SET_NAME, wanted, 0, 0, 0) == 0 ? 'y' : 'n';
      if (::write(renamed_[1], &ok, 1) != 1) ::_exit(1);
      while (::read(go_[0], &byte, 1) > 0) {
      }
      ::_exit(0);
    }
    EXPECT_GT(pid_, 0);
    ::close(go_[0]);
    ::close(renamed_[1]);
  }
  ~RenamingChild() {
    ::close(go_[1]);
    ::close(renamed_[0]);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  // True once the child carries its new name.
  bool rename() {
    char byte = 'g';
    if (::write(go_[1], &byte, 1) != 1) return false;
    return ::read(renamed_[0], &byte, 1) == 1 && byte == 'y';
  }
  pid_t pid() const { return pid_; }

 private:
  int go_[2] = {-1, -1};
  int renamed_[2] = {-1, -1};
  pid_t pid_ = -1;
};

TEST(StartTime, ProgramNamesWithParenthesesAndSpaces) {
  const auto ours = identity::start_time_of(::getpid());
  ASSERT_TRUE(ours.has_value());
  const std::string names[] = {
      "a) b c", ") ) )", "x (y) z", "   ", ")1 2 3 4 5 6 7", "(", ")", "a\n) b", "R) S 1 2 3 4",
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(testing::PrintToString(name));
    RenamingChild child(name);
    ASSERT_GT(child.pid(), 0);
    // Under this program's own name, which holds neither spaces nor ")".
    const auto before = identity::start_time_of(child.pid());
    ASSERT_TRUE(before.has_value());
    ASSERT_TRUE(child.rename());
    ASSERT_EQ(read_whole("/proc/" + std::to_string(child.pid()) + "/comm"), name + "\n");
    const auto after = identity::start_time_of(child.pid());
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(*after, *before);
    const std::optional<unsigned long long> scanned = start_time_by_scanf(child.pid());
    ASSERT_TRUE(scanned.has_value());
    EXPECT_EQ(*after, *scanned);
    // The child began after this process did.
    EXPECT_GE(*after, *ours);
  }
}

TEST(StartTime, NothingForAProcessThatIsNotThere) {
  pid_t reaped = ::fork();
  if (reaped == 0) ::_exit(0);
  ASSERT_GT(reaped, 0);
  ASSERT_EQ(::waitpid(reaped, nullptr, 0), reaped);
  // No pid reaches pid_max.
  const int pid_max = std::atoi(read_whole("/proc/sys/kernel/pid_max").c_str());
  const pid_t absent[] = {reaped, static_cast<pid_t>(pid_max), 0, -1};
  for (const pid_t pid : absent) {
    const auto started = identity::start_time_of(pid);
    ASSERT_FALSE(started.has_value()) << pid;
    EXPECT_EQ(started.error(), identity::Unknown::Gone) << pid;
  }
}

}  // namespace
