// The one way from an apply request to the new content of the hosts file:
// the helper writes what it gives, and the client's preview shows the same,
// so that what a person is shown is what the helper writes.
#ifndef LWK_CHECK_PIPELINE_H_
#define LWK_CHECK_PIPELINE_H_

#include <functional>
#include <string>
#include <vector>

#include "base/result.h"
#include "check/check.h"
#include "hosts_core/block.h"
#include "ipc/wire.h"

namespace hosts_helper_core::pipeline {

// "the file's markup is broken at line N: MESSAGE": how a file whose block
// cannot be read is reported, wherever it is read.
std::string broken_markup(const hosts_core::block::MarkupError& error);

// Reads the current file's bytes, or says why it could not (the system's
// sentence).
using ReadCurrent = std::function<lwk::Result<std::string, std::string>()>;

// The complete new file for an apply of `sets`: the sets checked under
// `limits` first (the file is not read when they have issues), then the file
// read with `read_current`, cut at its block, and the sets rendered into it.
// Fails with the check's issues in their order, or with one issue of the
// request as a whole: "reading the current file: REASON" or "the file's
// markup is broken at line N: MESSAGE".
lwk::Result<std::string, std::vector<hosts_ipc::Issue>> new_content(
    const std::vector<hosts_ipc::WireSet>& sets, const check::Limits& limits,
    const ReadCurrent& read_current);

}  // namespace hosts_helper_core::pipeline

#endif  // LWK_CHECK_PIPELINE_H_
