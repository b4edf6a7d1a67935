#include "client/input_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "base/io_error.h"

namespace lantern_wharf::input_file {
namespace {

lwk::Unexpected<NotRead> unread(const lwk::IoError& error) {
  return lwk::unexpected(NotRead{false, error.message});
}

lwk::Unexpected<NotRead> refused(std::string why) {
  return lwk::unexpected(NotRead{true, std::move(why)});
}

// Closes a descriptor when it goes out of scope.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) (void)::close(fd);
  }
};

}  // namespace

lwk::Result<std::string, lwk::IoError> read_at_most(int fd, std::size_t cap) {
  std::string out;
  char buffer[65536];
  while (out.size() < cap) {
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, cap - out.size()));
    if (n > 0) {
      out.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno == EAGAIN) {
      pollfd in{fd, POLLIN, 0};  // standard input may be non-blocking
      (void)::poll(&in, 1, -1);
    } else if (errno != EINTR) {
      return lwk::unexpected(lwk::IoError::last());
    }
  }
  return out;
}

std::string beyond_bound(std::string_view octets, std::size_t limit) {
  return std::string(octets) + " octets, and the client reads at most " + std::to_string(limit);
}

lwk::Result<std::string, NotRead> read(const std::string& path, std::size_t limit, Links links) {
  const bool follow = links == Links::Followed;
  struct stat st;
  if ((follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) {
    return unread(lwk::IoError::last());
  }
  if (!S_ISREG(st.st_mode)) return refused("not a regular file");
  // Should the path name a FIFO by now, opening it does not wait for a
  // writer; should it name a link, opening it fails (ELOOP).
  const Descriptor file{
      ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (follow ? 0 : O_NOFOLLOW))};
  if (file.fd < 0 && errno == ELOOP && !follow) return refused("not a regular file");
  if (file.fd < 0) return unread(lwk::IoError::last());
  if (::fstat(file.fd, &st) != 0) return unread(lwk::IoError::last());
  if (!S_ISREG(st.st_mode)) return refused("not a regular file");
  if (static_cast<std::uint64_t>(st.st_size) > limit) {
    return refused("the file is " + beyond_bound(std::to_string(st.st_size), limit));
  }
  auto text = read_at_most(file.fd, limit + 1);
  if (!text) return unread(text.error());
  // A file that grew since its size was read.
  if (text->size() > limit) {
    return refused("the file is " + beyond_bound("more than " + std::to_string(limit), limit));
  }
  return std::move(*text);
}

}  // namespace lantern_wharf::input_file
