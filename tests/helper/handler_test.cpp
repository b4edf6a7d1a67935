// The request handler driven with fake messages: every row of its outcome
// and journal tables, the lock released before each reply, operations that
// never overlap, and removals that refused callers cannot break.
#include "helper/handler.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "helper_core/faulty_platform.h"
#include "hosts_core/markup.h"
#include "identity/caller_platform.h"
#include "support/temp_dir.h"
#include "support/text_store.h"

namespace {

using hosts_helper::handle;
using hosts_helper::ServiceState;
using identity::Verdict;
using lwk_test::exists;
using lwk_test::slurp;
using lwk_test::spit;

// The verdict every check gives, set by a test.
Verdict scripted_verdict = Verdict::serve();
Verdict scripted_check(const identity::Caller&) { return scripted_verdict; }

class FakeMessage final : public hosts_transport::Message {
 public:
  bool error = false;
  std::optional<identity::Caller> who = identity::Caller{};
  std::optional<std::string> data;
  bool reply_wanted = true;
  std::optional<std::string> reply;  // what send_reply was given
  std::function<void()> on_send;

  bool is_error() const override { return error; }
  const identity::Caller* caller() const override { return who ? &*who : nullptr; }
  std::optional<std::string> payload() const override { return data; }
  bool wants_reply() const override { return reply_wanted; }
  void send_reply(std::string_view body) override {
    if (on_send) on_send();
    reply = std::string(body);
  }
  void send_not_now() override { reply = kNotNow; }
  // What send_not_now() leaves in `reply`: no response could be this.
  static constexpr const char* kNotNow = "(not now)";
};

// Captures what is written to standard error while it lives.
class CapturedStderr {
 public:
  CapturedStderr() : file_(dir_ / "stderr") {
    saved_ = ::dup(STDERR_FILENO);
    const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
  }
  ~CapturedStderr() { restore(); }
  std::string text() {
    restore();
    return slurp(file_);
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
  }
  lwk_test::TempDir dir_;
  std::string file_;
  int saved_ = -1;
};

// The messages of a journal's lines, without their time stamps.
std::vector<std::string> messages_of(const std::string& text) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at);
    out.push_back(line.size() > 21 ? line.substr(21) : line);  // "YYYY-MM-DD HH:MM:SSZ "
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return out;
}

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

const std::string kDone = bytes({0, 1, 1});
const std::string kUnchanged = bytes({0, 1, 2});
const std::string kNotUnderstood = bytes({0, 1, 4});

// An apply of one set whose one line differs with `i`.
FakeMessage apply_message_for(int i) {
  const std::string line = "10.0.0.1 host-" + std::to_string(i) + ".test";
  FakeMessage m;
  m.data = hosts_ipc::encode_request(hosts_ipc::ApplySets{{{"set", {{line, true}}}}});
  return m;
}

std::string issues_bytes(const std::vector<hosts_ipc::Issue>& issues) {
  return hosts_ipc::encode_response(hosts_ipc::Issues{issues});
}

class HandlerTest : public ::testing::Test {
 protected:
  HandlerTest() { scripted_verdict = Verdict::serve(); }

  std::unique_ptr<ServiceState> state_with(std::unique_ptr<lwk_test::FaultyPlatform> platform) {
    platform_ = platform.get();
    return std::make_unique<ServiceState>(
        hosts_helper_core::write::Paths{dir_ / "hosts", dir_ / "store"}, dir_ / "store/helper.log",
        std::move(platform), &scripted_check);
  }

  // Handles `message` and returns the journal's messages in the log, then
  // those in the outsiders' log.
  std::vector<std::string> handled(FakeMessage& message) {
    handle(message, *state_);
    std::vector<std::string> lines = log();
    if (exists(state_->others_log)) {
      for (std::string& line : messages_of(slurp(state_->others_log))) lines.push_back(line);
    }
    return lines;
  }
  std::vector<std::string> log() const {
    return exists(state_->log) ? messages_of(slurp(state_->log)) : std::vector<std::string>{};
  }

  FakeMessage apply_message(const std::vector<hosts_ipc::WireSet>& sets) {
    FakeMessage m;
    m.data = hosts_ipc::encode_request(hosts_ipc::ApplySets{sets});
    return m;
  }

  lwk_test::TempDir dir_;
  lwk_test::FaultyPlatform* platform_ = nullptr;
  std::unique_ptr<ServiceState> state_ = state_with(std::make_unique<lwk_test::FaultyPlatform>());
};

TEST_F(HandlerTest, RefusalsAndUndecodablePayloads) {
  struct Case {
    const char* what;
    bool error;
    bool identified;  // whether the message has a caller
    Verdict verdict;
    std::optional<std::string> data;
    std::optional<std::string> reply;  // nothing: no reply at all
    std::vector<std::string> journal;
  };
  const std::string flush = bytes({0, 1, 2});
  const Verdict serve = Verdict::serve();
  const Case cases[] = {
      {"an error event", true, true, serve, flush, std::nullopt, {}},
      {"no caller",
       false,
       false,
       serve,
       flush,
       "",
       {"refused to serve: the caller could not be identified"}},
      {"a caller the check refuses, in its words",
       false,
       true,
       Verdict::refuse("pid 4242 runs /bin/sh, not the client"),
       flush,
       "",
       {"refused to serve: pid 4242 runs /bin/sh, not the client"}},
      {"a caller the check could not decide now: told to ask again, not refused",
       false,
       true,
       Verdict::not_now("pid 4242 could not be checked now"),
       flush,
       FakeMessage::kNotNow,
       {"not decided now: pid 4242 could not be checked now"}},
      {"no payload, or one that is not data",
       false,
       true,
       serve,
       std::nullopt,
       kNotUnderstood,
       {"refused to serve: the message was not understood"}},
      {"zero bytes",
       false,
       true,
       serve,
       "",
       kNotUnderstood,
       {"refused to serve: the message was not understood"}},
      {"garbage",
       false,
       true,
       serve,
       "garbage",
       kNotUnderstood,
       {"refused to serve: the message was not understood"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    lwk_test::remove_all(state_->paths.store);
    scripted_verdict = c.verdict;
    FakeMessage m;
    m.error = c.error;
    if (!c.identified) m.who.reset();
    m.data = c.data;
    EXPECT_EQ(handled(m), c.journal);
    EXPECT_EQ(m.reply, c.reply);
    EXPECT_EQ(platform_->calls(lwk_test::Op::FlushNameCache), 0);  // nothing was done
  }
}

TEST_F(HandlerTest, ApplyOutcomes) {
  spit(state_->paths.target, "127.0.0.1 localhost\n");
  const std::vector<hosts_ipc::WireSet> good = {{"work", {{"10.0.0.5 intranet.test", true}}}};

  FakeMessage first = apply_message(good);
  EXPECT_TRUE(handled(first).empty());  // nothing is journaled for an apply
  EXPECT_EQ(first.reply, kDone);
  EXPECT_NE(slurp(state_->paths.target).find("10.0.0.5 intranet.test\n"), std::string::npos);
  FakeMessage again = apply_message(good);
  handle(again, *state_);
  EXPECT_EQ(again.reply, kUnchanged);
  EXPECT_EQ(state_->counter, 1u);  // one backup, one change

  // The check's issues, unchanged and in their order.
  FakeMessage bad =
      apply_message({{"a", {{"bad", true}, {"10.0.0.1 x", true}}}, {"b", {{"10.0.0.2 X", true}}}});
  EXPECT_TRUE(handled(bad).empty());
  const std::string tail = " is mapped to more than one address by the sets being applied";
  EXPECT_EQ(bad.reply, issues_bytes({{"the entry has no host name, so it maps nothing", 0, 1},
                                     {"x" + tail, 0, 2},
                                     {"x" + tail, 1, 1}}));

  // A failed write: one issue, set 0, line 0, and the file as it was.
  const std::string before = slurp(state_->paths.target);
  platform_->fail(lwk_test::Op::Replace, platform_->calls(lwk_test::Op::Replace) + 1);
  FakeMessage failing = apply_message({{"other", {{"10.0.0.9 other.test", true}}}});
  EXPECT_TRUE(handled(failing).empty());
  EXPECT_EQ(failing.reply,
            issues_bytes({{"replacing the target: Input/output error (os error 5)", 0, 0}}));
  EXPECT_EQ(slurp(state_->paths.target), before);
}

TEST_F(HandlerTest, AnUnreadableOrBrokenTargetIsOneIssue) {
  const std::vector<hosts_ipc::WireSet> sets = {{"work", {{"10.0.0.5 intranet.test", true}}}};
  FakeMessage missing = apply_message(sets);
  EXPECT_TRUE(handled(missing).empty());
  EXPECT_EQ(
      missing.reply,
      issues_bytes({{"reading the current file: No such file or directory (os error 2)", 0, 0}}));

  spit(state_->paths.target,
       "127.0.0.1 localhost\n" + std::string(hosts_core::markup::CLOSING_MARKER) + "\n");
  FakeMessage broken = apply_message(sets);
  EXPECT_TRUE(handled(broken).empty());
  EXPECT_EQ(broken.reply,
            issues_bytes({{"the file's markup is broken at line 2: a closing marker with no "
                           "opening one",
                           0, 0}}));
  EXPECT_FALSE(exists(state_->paths.store));  // nothing was written

  // A target that is a symbolic link: refused in the write path's words, and
  // neither the link nor what it points to changes.
  const std::string elsewhere = dir_ / "elsewhere";
  spit(elsewhere, "127.0.0.1 localhost\n");
  ASSERT_EQ(::unlink(state_->paths.target.c_str()), 0);
  ASSERT_EQ(::symlink(elsewhere.c_str(), state_->paths.target.c_str()), 0);
  FakeMessage linked = apply_message(sets);
  EXPECT_TRUE(handled(linked).empty());
  EXPECT_EQ(linked.reply,
            issues_bytes({{"reading the current file: the target is a symbolic link, and "
                           "following it would write elsewhere",
                           0, 0}}));
  struct stat st;
  ASSERT_EQ(::lstat(state_->paths.target.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(slurp(elsewhere), "127.0.0.1 localhost\n");
  EXPECT_FALSE(exists(state_->paths.store));
}

TEST_F(HandlerTest, FlushOutcomes) {
  struct Case {
    std::vector<hosts_privsep::platform::CacheCommand> commands;
    bool fails;
    std::string reply;
    std::string line;
  };
  const Case cases[] = {
      {{{"/bin/true", {}}}, false, kDone, "dropped the name caches"},
      {{}, false, kDone, "no name cache was there to drop"},
      {{},
       true,
       issues_bytes({{"the name cache would not drop: Input/output error (os error 5)", 0, 0}}),
       "the name cache would not drop: Input/output error (os error 5)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    lwk_test::remove_all(dir_ / "store");
    state_ = state_with(std::make_unique<lwk_test::FaultyPlatform>(c.commands));
    if (c.fails) platform_->fail(lwk_test::Op::FlushNameCache, 1);
    FakeMessage m;
    m.data = bytes({0, 1, 2});
    EXPECT_EQ(handled(m), std::vector<std::string>{c.line});
    EXPECT_EQ(m.reply, c.reply);
  }
}

TEST_F(HandlerTest, RemovalLeavesNoLogAndSaysItsLastLineOnStandardErrorOnly) {
  spit(state_->paths.target, "original\n");
  FakeMessage apply = apply_message({{"work", {{"10.0.0.5 intranet.test", true}}}});
  handle(apply, *state_);
  ASSERT_EQ(apply.reply, kDone);

  FakeMessage remove;
  remove.data = bytes({0, 1, 3});
  CapturedStderr err;
  handle(remove, *state_);
  const std::vector<std::string> said = messages_of(err.text());
  EXPECT_EQ(remove.reply, kDone);
  EXPECT_EQ(said, (std::vector<std::string>{"removing everything this side keeps",
                                            "removed everything this side keeps"}));
  EXPECT_FALSE(exists(state_->paths.store));  // the log went with it
  EXPECT_EQ(slurp(state_->paths.target), "original\n");

  // A failed removal is journaled and answered with the step and message.
  spit(state_->paths.target, "original\n");
  FakeMessage again = apply_message({{"work", {{"10.0.0.5 intranet.test", true}}}});
  handle(again, *state_);
  platform_->fail(lwk_test::Op::RemoveDirectory,
                  platform_->calls(lwk_test::Op::RemoveDirectory) + 2);
  FakeMessage failing;
  failing.data = bytes({0, 1, 3});
  const auto journal = handled(failing);
  const std::string why = "removing what the privileged side kept: Input/output error (os error 5)";
  EXPECT_EQ(failing.reply, issues_bytes({{why, 0, 0}}));
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal.back(), "removal stopped at " + why);
}

TEST_F(HandlerTest, WithoutAReplyObjectTheWorkIsDoneAndNothingSent) {
  spit(state_->paths.target, "127.0.0.1 localhost\n");
  FakeMessage m = apply_message({{"work", {{"10.0.0.5 intranet.test", true}}}});
  m.reply_wanted = false;
  handle(m, *state_);
  EXPECT_FALSE(m.reply.has_value());
  EXPECT_NE(slurp(state_->paths.target).find("intranet.test"), std::string::npos);
}

TEST_F(HandlerTest, TheLockIsFreeWhileAReplyIsSent) {
  spit(state_->paths.target, "127.0.0.1 localhost\n");
  const std::string requests[] = {
      hosts_ipc::encode_request(hosts_ipc::ApplySets{{{"w", {{"10.0.0.5 a.test", true}}}}}),
      bytes({0, 1, 2}), bytes({0, 1, 3}), "garbage"};
  for (const std::string& request : requests) {
    FakeMessage m;
    m.data = request;
    bool free = false;
    m.on_send = [&] {
      free = state_->lock.try_lock();
      if (free) state_->lock.unlock();
    };
    handle(m, *state_);
    ASSERT_TRUE(m.reply.has_value());
    EXPECT_TRUE(free) << testing::PrintToString(request);
  }
}

// A platform whose flush takes a while and notes whether two ever ran at once.
class OverlapPlatform final : public hosts_helper_core::write::Platform {
 public:
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
  std::atomic<int> flushes{0};

  hosts_helper_core::write::IoResult<void> restore_permissions(const std::string&,
                                                               const std::string&) override {
    return lwk::success();
  }
  hosts_helper_core::write::IoResult<void> replace(const std::string& t,
                                                   const std::string& g) override {
    return files_.rename(t, g);
  }
  hosts_helper_core::write::IoResult<void> reject_if_redirected(const std::string&) override {
    return lwk::success();
  }
  lwk::Result<bool, std::string> flush_name_cache() override {
    if (++running > 1) overlapped = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    --running;
    ++flushes;
    return true;
  }
  hosts_helper_core::write::Files& files() override { return files_; }

 private:
  hosts_privsep::platform::PosixFiles files_;
};

TEST(HandlerConcurrency, OperationsOfManyConnectionsNeverOverlap) {
  lwk_test::TempDir dir;
  auto platform = std::make_unique<OverlapPlatform>();
  OverlapPlatform& seen = *platform;
  ServiceState state(hosts_helper_core::write::Paths{dir / "hosts", dir / "store"},
                     dir / "store/helper.log", std::move(platform), &scripted_check);
  scripted_verdict = Verdict::serve();
  CapturedStderr quiet;  // 160 journal lines
  std::vector<std::thread> clients;
  for (int t = 0; t < 8; ++t) {
    clients.emplace_back([&] {
      for (int i = 0; i < 20; ++i) {
        FakeMessage m;
        m.data = bytes({0, 1, 2});
        handle(m, state);
      }
    });
  }
  for (auto& c : clients) c.join();
  EXPECT_EQ(seen.flushes, 160);
  EXPECT_FALSE(seen.overlapped);
  // Every line whole: 160 flushes, one line each.
  EXPECT_EQ(messages_of(slurp(state.log)),
            std::vector<std::string>(160, "dropped the name caches"));
}

// Refusals get a few lines a second in each log; the rest are counted, and
// the count goes with the next line of that log, or with the stop. An
// outsider's refusals go to a log of their own, so that no flood of them can
// rotate the record of what the helper did for those it serves away, nor
// keep a member's refusal out of it.
TEST_F(HandlerTest, RefusalLinesAreBoundedCountedAndOutsidersKeptApart) {
  const std::string outsider_line = "refused to serve: uid 4321 is neither root nor a member";
  const std::string member_line = "refused to serve: pid 7 runs /bin/sh, not the client";
  const auto refuse = [this](const std::string& why, bool outsider, int times) {
    scripted_verdict = Verdict::refuse(why).of_outsider(outsider);
    for (int i = 0; i < times; ++i) {
      FakeMessage m;
      m.data = bytes({0, 1, 2});
      handle(m, *state_);
      EXPECT_EQ(m.reply, "");
    }
  };
  const auto others = [this] { return messages_of(slurp(state_->others_log)); };
  refuse("uid 4321 is neither root nor a member", true, 8);
  EXPECT_EQ(others(), std::vector<std::string>(5, outsider_line));
  EXPECT_EQ(log(), std::vector<std::string>{});
  refuse("pid 7 runs /bin/sh, not the client", false, 1);
  EXPECT_EQ(log(), std::vector<std::string>{member_line});

  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  refuse("uid 4321 is neither root nor a member", true, 6);
  std::vector<std::string> expected(5, outsider_line);
  expected.push_back(outsider_line + " (and 3 refusals not journaled)");
  expected.insert(expected.end(), 4, outsider_line);
  EXPECT_EQ(others(), expected);
  // No later refusal comes: the stop notes the count.
  note_left_out(*state_);
  expected.push_back("1 refusal not journaled before the stop");
  EXPECT_EQ(others(), expected);
  EXPECT_EQ(log(), std::vector<std::string>{member_line});
  note_left_out(*state_);  // counted once only
  EXPECT_EQ(others().size(), expected.size());
}

TEST(HandlerConcurrency, RefusalsDuringRemovalsNeverBreakThem) {
  lwk_test::TempDir dir;
  ServiceState state(hosts_helper_core::write::Paths{dir / "hosts", dir / "store"},
                     dir / "store/helper.log", std::make_unique<lwk_test::FaultyPlatform>(),
                     &scripted_check);
  state.refusal_lines_per_second = SIZE_MAX;  // every refusal a line, to race the removals
  scripted_verdict = Verdict::serve();
  spit(state.paths.target, "127.0.0.1 localhost\n");
  std::atomic<bool> done{false};
  std::vector<std::thread> refused;
  CapturedStderr quiet;  // thousands of refusal lines
  for (int t = 0; t < 3; ++t) {
    refused.emplace_back([&] {
      while (!done) {
        FakeMessage m;
        m.who.reset();
        m.data = bytes({0, 1, 2});
        handle(m, state);
      }
    });
  }
  int failures = 0;
  for (int i = 0; i < 100; ++i) {
    FakeMessage apply = apply_message_for(i);
    handle(apply, state);
    FakeMessage remove;
    remove.data = bytes({0, 1, 3});
    handle(remove, state);
    if (remove.reply != kDone) ++failures;
  }
  done = true;
  for (auto& t : refused) t.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(slurp(state.paths.target), "127.0.0.1 localhost\n");
}

}  // namespace
