// Reading a file that the client is pointed at, /etc/hosts among them: a
// regular file only, and no more than a bound, so that a FIFO cannot hold
// the client and a huge file cannot exhaust its memory.
#ifndef LWK_CLIENT_INPUT_FILE_H_
#define LWK_CLIENT_INPUT_FILE_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "base/io_error.h"
#include "base/result.h"

namespace lantern_wharf::input_file {

// Why a file was not read.
struct NotRead {
  bool refused;         // the client does not read such a file: an input error
  std::string message;  // why, without the file's name
};

// Whether a link at the end of a path is followed.
enum class Links { Followed, NotFollowed };

// The bytes of the regular file at `path` when it holds at most `limit`
// octets. Anything else is refused before a byte of it is read: a FIFO, a
// device, a directory or a socket ("not a regular file") without waiting on
// it, a link when links are not followed (also "not a regular file"), and a
// file over the bound from its size ("the file is N octets, and the client
// reads at most LIMIT"). Otherwise the system's sentence.
lwk::Result<std::string, NotRead> read(const std::string& path, std::size_t limit,
                                       Links links = Links::Followed);

// "OCTETS octets, and the client reads at most LIMIT": how every sentence
// about an input over its bound ends. `octets` may be words ("more than N").
std::string beyond_bound(std::string_view octets, std::size_t limit);

// Reads `fd` (standard input, say) to its end, but no more than `cap` octets;
// a descriptor that is not ready is waited on.
lwk::Result<std::string, lwk::IoError> read_at_most(int fd, std::size_t cap);

}  // namespace lantern_wharf::input_file

#endif  // LWK_CLIENT_INPUT_FILE_H_
