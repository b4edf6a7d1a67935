#include "check/pipeline.h"

#include "hosts_core/block.h"

namespace hosts_helper_core::pipeline {
namespace {

std::vector<hosts_ipc::Issue> one_issue(std::string message) {
  return {hosts_ipc::request_issue(std::move(message))};
}

}  // namespace

std::string broken_markup(const hosts_core::block::MarkupError& error) {
  return "the file's markup is broken at line " + std::to_string(error.line) + ": " + error.message;
}

lwk::Result<std::string, std::vector<hosts_ipc::Issue>> new_content(
    const std::vector<hosts_ipc::WireSet>& sets, const check::Limits& limits,
    const ReadCurrent& read_current) {
  auto checked = check::check(sets, limits);
  if (!checked) return lwk::unexpected(std::move(checked).error());
  auto current = read_current();
  if (!current) return lwk::unexpected(one_issue("reading the current file: " + current.error()));
  auto file = hosts_core::block::ManagedFile::read(*current);
  if (!file) return lwk::unexpected(one_issue(broken_markup(file.error())));
  return file->render(*checked);
}

}  // namespace hosts_helper_core::pipeline
