// The helper as its client meets it: requests through the socket to the real
// helper, which this program starts. It runs in the sandbox, installed at the
// trusted path in place of the client, so that the helper serves it
// (scripts/bench-service.sh does both).
//
// - a 1 MiB apply through the socket, next to the in-process write() of the
//   same content on the same file systems, interleaved in one loop, and the
//   same apply once more (unchanged: all the helper does but the write);
// - unchanged applies a second, from 1 and from 4 clients at once;
// - refused requests a second from a copy of this program elsewhere (a
//   flood), with the journal far from its bound and with it rotated once in
//   every round.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "client/helper_link.h"
#include "helper_core/write.h"
#include "ipc/wire.h"
#include "journal/journal.h"
#include "os/files.h"
#include "privsep/system_platform.h"
#include "realistic.h"
#include "support/temp_dir.h"
#include "transport/frame.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kStore[] = "/var/db/lantern-wharf-kit";
const char kFloodFlag[] = "--refused-flood";
constexpr int kFloodRequests = 5000;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The helper this program started, stopped on the way out.
pid_t helper_pid = -1;

[[noreturn]] void die(const std::string& why) {
  (void)std::fprintf(stderr, "service_bench: %s\n", why.c_str());
  if (helper_pid > 0) ::kill(helper_pid, SIGTERM);
  std::exit(1);
}

// The response to `request`, which must be `expected`.
void ask(const std::string& request, const hosts_ipc::Response& expected) {
  auto reply = lantern_wharf::exchange(request);
  if (!reply) die(reply.error());
  if (reply->kind != lantern_wharf::Reply::Kind::Response)
    die("the helper did not serve this program");
  auto response = hosts_ipc::decode_response(reply->response);
  if (!response) die("the helper answered what does not decode");
  if (!(*response == expected)) die("the helper gave another answer than the one expected");
}

std::string read_whole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string scratch_under(const std::string& parent) {
  std::string pattern = parent + "/lwk-service-bench-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) die("no scratch directory under " + parent);
  return pattern;
}

void BM_ApplyThroughSocketAgainstWrite(benchmark::State& state) {
  const std::string a = lwk_bench::largest_request("domain-a");
  const std::string b = lwk_bench::largest_request("domain-b");
  // What the helper writes for each, to write the same in process.
  ask(a, hosts_ipc::Done{});
  const std::string rendered_a = read_whole("/etc/hosts");
  ask(b, hosts_ipc::Done{});
  const std::string rendered_b = read_whole("/etc/hosts");
  // The same file systems as the helper's: the target beside /etc/hosts,
  // the store beside the helper's.
  const std::string etc = scratch_under("/etc");
  const std::string var = scratch_under("/var/db");
  const hosts_helper_core::write::Paths paths{etc + "/hosts", var + "/store"};
  hosts_privsep::platform::SystemPlatform platform(true, {});
  std::uint64_t counter = 0;
  {
    std::ofstream target(paths.target, std::ios::binary);
    target << rendered_b;
  }
  double socket_total = 0;
  double unchanged_total = 0;
  double write_total = 0;
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    const auto start = Clock::now();
    ask(flip ? a : b, hosts_ipc::Done{});
    socket_total += seconds_since(start);
    state.PauseTiming();
    // The same request again: all the helper does but the write.
    const auto unchanged_start = Clock::now();
    ask(flip ? a : b, hosts_ipc::Unchanged{});
    unchanged_total += seconds_since(unchanged_start);
    const auto write_start = Clock::now();
    auto wrote =
        hosts_helper_core::write::write(paths, flip ? rendered_a : rendered_b, platform, counter);
    write_total += seconds_since(write_start);
    if (!wrote || !*wrote) die("the in-process write did not change the file");
    state.ResumeTiming();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["socket_ms"] = socket_total / n * 1e3;
  state.counters["unchanged_ms"] = unchanged_total / n * 1e3;
  state.counters["write_ms"] = write_total / n * 1e3;
  state.counters["ratio"] = socket_total / write_total;
  state.SetLabel("goal: ratio at most 1.15");
  lwk_test::remove_all(etc);
  lwk_test::remove_all(var);
}
BENCHMARK(BM_ApplyThroughSocketAgainstWrite)->Unit(benchmark::kMillisecond)->Iterations(40);

const std::string& small_request() {
  static const std::string bytes = [] {
    hosts_ipc::ApplySets apply;
    apply.sets.push_back(
        {"work", {{"10.0.0.5 intranet.test", true}, {"10.0.0.6 wiki.test", true}}});
    return hosts_ipc::encode_request(apply);
  }();
  return bytes;
}

void BM_UnchangedApply(benchmark::State& state) {
  if (state.thread_index() == 0) {
    auto reply = lantern_wharf::exchange(small_request());  // done or unchanged
    if (!reply || reply->kind != lantern_wharf::Reply::Kind::Response) {
      die("the first apply was not served");
    }
  }
  for (auto _ : state) ask(small_request(), hosts_ipc::Unchanged{});
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UnchangedApply)->Threads(1)->Threads(4)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Sends kFloodRequests requests that the helper refuses, for it is run from
// a copy of this program; prints the seconds they took.
int flood() {
  const std::string request = hosts_ipc::encode_request(hosts_ipc::FlushNameCache{});
  const auto start = Clock::now();
  for (int i = 0; i < kFloodRequests; ++i) {
    auto reply = lantern_wharf::exchange(request);
    if (!reply) die(reply.error());
    if (reply->kind != lantern_wharf::Reply::Kind::NotServed)
      die("a copy of the client was served");
  }
  (void)std::printf("%.9f\n", seconds_since(start));
  return 0;
}

// The journal as each round of the flood finds it: small (0), or within
// half a round of its bound (1), so that it is rotated once in the round.
void prepare_log(bool near_bound) {
  const std::string log = std::string(kStore) + "/helper.log";
  (void)::unlink((log + ".1").c_str());
  const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) die("cannot open the journal");
  if (near_bound) {
    // Each refusal's line is about 60 octets.
    const std::size_t size = hosts_journal::LOG_LIMIT - kFloodRequests * 60 / 2;
    const std::string filler(size - 1, 'x');
    if (!lwk::os::write_all(fd, filler + "\n")) die("cannot fill the journal");
  }
  ::close(fd);
}

void BM_RefusedFlood(benchmark::State& state) {
  // A copy of this program, which the helper does not serve.
  const std::string copy = std::string(kStore) + "-bench-copy";
  const std::string self = read_whole("/proc/self/exe");
  {
    std::ofstream out(copy, std::ios::binary | std::ios::trunc);
    out << self;
  }
  (void)::chmod(copy.c_str(), 0755);
  std::size_t rotations = 0;
  for (auto _ : state) {
    prepare_log(state.range(0) == 1);
    int out[2];
    if (::pipe(out) != 0) die("no pipe");
    const pid_t child = ::fork();
    if (child == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::execl(copy.c_str(), copy.c_str(), kFloodFlag, static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    std::string seconds;
    char buffer[64];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) seconds.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) die("the flood failed");
    state.SetIterationTime(std::strtod(seconds.c_str(), nullptr));
    struct stat st;
    rotations += ::stat((std::string(kStore) + "/helper.log.1").c_str(), &st) == 0 ? 1 : 0;
  }
  state.SetItemsProcessed(state.iterations() * kFloodRequests);
  state.counters["rotations_per_round"] =
      static_cast<double>(rotations) / static_cast<double>(state.iterations());
  state.SetLabel(state.range(0) == 1 ? "journal rotated in every round"
                                     : "journal far from its bound");
  (void)::unlink(copy.c_str());
}
BENCHMARK(BM_RefusedFlood)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(8)
    ->Unit(benchmark::kMillisecond);

// Starts the helper and returns once its socket answers.
pid_t start_helper(const char* helper) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Its journal lines go nowhere, and it holds none of this program's pipes.
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::execl(helper, helper, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const std::string path = hosts_transport::frame::socket_path();
  for (int i = 0; i < 1000; ++i) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const bool up = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    if (up) return pid;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  die("the helper did not start listening");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], kFloodFlag) == 0) return flood();
  const char* helper = std::getenv("LWK_HELPER");
  if (helper == nullptr || std::getenv("LWK_IN_SANDBOX") == nullptr) {
    die("runs in the sandbox, at the client's trusted path: use scripts/bench-service.sh");
  }
  helper_pid = start_helper(helper);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  ::kill(helper_pid, SIGTERM);
  int status = 0;
  ::waitpid(helper_pid, &status, 0);
  return 0;
}
