// The faulted runs go to worker processes, one per processor, so that a run that crashes or
// hangs is a finding about its call site and not the end of the sweep. The clean run happens
// here first: the workers inherit its loaded module images.
#include "Core/Faults.h"
#include "Core/Memory.h"
#include "Core/Simulator.h"
#include "Sweep/Sweep.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <iostream>
#include <optional>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace boardsim {
namespace {

using Clock = std::chrono::steady_clock;

// Board-memory addresses become "address": which block a pool hands out is not a result.
void MakeAddressesSymbolic(Json &value, const Memory &memory) {
  if (value.is_structured()) {
    for (Json &item : value)
      MakeAddressesSymbolic(item, memory);
  } else if (value.is_number_integer() && memory.InRam(value.get<uint64_t>(), 1)) {
    value = "address";
  }
}

// Boots the board; `calls`, when given, receives every call the run checked for faults.
Observation Observe(const Board &board, std::vector<CheckedCall> *calls = nullptr) {
  SimOptions options;
  options.captureTrace = true;
  Simulator sim(board, options);
  sim.faults().Record(calls != nullptr);
  RunResult result = sim.Run();
  Observation observed{result.final, {}};
  MakeAddressesSymbolic(observed.final, sim.memory());
  for (const Json &event : sim.trace().Events())
    if (event.value("ev", "") == "fault")
      observed.faults.push_back(event.value("what", ""));
  if (calls)
    *calls = sim.faults().Recorded();
  return observed;
}

struct Job {
  size_t site;
  size_t status;
};

// A worker process: it boots one faulted run per job line it reads and answers each with one
// verdict line. `job` is the run in progress, if any.
struct Worker {
  pid_t pid = -1;
  int jobs = -1;    // parent -> worker
  int results = -1; // worker -> parent
  std::optional<Job> job;
  Clock::time_point started;
  std::string output;
};

Observation RunFaulted(const Board &board, const CallSite &site, const std::string &status) {
  Board faulted = board;
  FaultSpec spec;
  spec.call = site.call;
  spec.image = site.image;
  spec.nth = site.nth;
  spec.status = status;
  faulted.faults.push_back(spec);
  return Observe(faulted);
}

bool WriteAll(int fd, const std::string &text) {
  for (size_t done = 0; done < text.size();) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0)
      return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

[[noreturn]] void WorkerLoop(const Board &board, const SweepResult &sweep, const Observation &clean,
                             int jobs, int results) {
  std::string pending;
  char buffer[256];
  for (;;) {
    size_t newline;
    while ((newline = pending.find('\n')) == std::string::npos) {
      ssize_t n = read(jobs, buffer, sizeof buffer);
      if (n <= 0)
        _exit(0);
      pending.append(buffer, static_cast<size_t>(n));
    }
    size_t site = 0, status = 0;
    std::sscanf(pending.c_str(), "%zu %zu", &site, &status);
    pending.erase(0, newline + 1);
    const std::string &name = sweep.statuses[status];
    Verdict verdict = Classify(clean, RunFaulted(board, sweep.sites[site], name), name);
    if (!WriteAll(
            results,
            Json{{"kind", static_cast<int>(verdict.kind)}, {"detail", verdict.detail}}.dump() +
                "\n"))
      _exit(1);
  }
}

Worker StartWorker(const Board &board, const SweepResult &sweep, const Observation &clean,
                   const std::vector<Worker> &others) {
  int jobs[2], results[2];
  if (pipe(jobs) != 0 || pipe(results) != 0)
    throw std::runtime_error("cannot create the pipes of a sweep worker");
  std::cout.flush();
  std::cerr.flush();
  pid_t pid = fork();
  if (pid < 0)
    throw std::runtime_error("cannot start a sweep worker (fork failed)");
  if (pid == 0) {
    for (const Worker &other : others)
      if (other.pid > 0) {
        close(other.jobs);
        close(other.results);
      }
    close(jobs[1]);
    close(results[0]);
    WorkerLoop(board, sweep, clean, jobs[0], results[1]);
  }
  close(jobs[0]);
  close(results[1]);
  Worker worker;
  worker.pid = pid;
  worker.jobs = jobs[1];
  worker.results = results[0];
  return worker;
}

// The verdict of a worker's job when the worker died or was stopped during it.
Verdict Lost(pid_t pid, bool timedOut) {
  if (timedOut)
    kill(pid, SIGKILL);
  int waitStatus = 0;
  waitpid(pid, &waitStatus, 0);
  if (timedOut)
    return {VerdictKind::Hang, "no end after the time limit"};
  if (WIFSIGNALED(waitStatus))
    return {VerdictKind::Crash, std::string("killed by ") + strsignal(WTERMSIG(waitStatus))};
  return {VerdictKind::Crash, "exit status " + std::to_string(WEXITSTATUS(waitStatus))};
}

void Release(Worker &worker) {
  close(worker.jobs);
  close(worker.results);
  worker.pid = -1;
}

void Stop(Worker &worker) {
  const pid_t pid = worker.pid;
  Release(worker);
  waitpid(pid, nullptr, 0);
}

} // namespace

SweepResult RunSweep(const Board &board, const SweepOptions &options) {
  SweepResult result{board.name, options.statuses, {}, {}};
  std::vector<CheckedCall> calls;
  const Observation clean = Observe(board, &calls);
  result.sites = CallSitesOf(calls);
  result.verdicts.assign(result.sites.size(), std::vector<Verdict>(options.statuses.size()));

  std::deque<Job> pending;
  for (size_t site = 0; site < result.sites.size(); ++site)
    for (size_t status = 0; status < options.statuses.size(); ++status)
      pending.push_back({site, status});
  const size_t count = std::min<size_t>(
      pending.size(),
      options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency()));
  const auto limit = std::chrono::seconds(options.timeoutSeconds);
  // A worker that dies takes only its job in progress with it; a new one takes its place.
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<Worker> workers;
  for (size_t i = 0; i < count; ++i)
    workers.push_back(StartWorker(board, result, clean, workers));
  auto assign = [&](Worker &worker) {
    if (pending.empty()) {
      Stop(worker);
      return;
    }
    worker.job = pending.front();
    pending.pop_front();
    worker.started = Clock::now();
    WriteAll(worker.jobs,
             std::to_string(worker.job->site) + " " + std::to_string(worker.job->status) + "\n");
  };
  for (Worker &worker : workers)
    assign(worker);
  for (;;) {
    std::vector<pollfd> fds;
    std::vector<Worker *> polled;
    for (Worker &worker : workers)
      if (worker.pid > 0) {
        fds.push_back({worker.results, POLLIN, 0});
        polled.push_back(&worker);
      }
    if (fds.empty())
      break;
    poll(fds.data(), fds.size(), 100);
    for (size_t i = 0; i < fds.size(); ++i) {
      Worker &worker = *polled[i];
      bool died = false;
      if (fds[i].revents != 0) {
        char buffer[4096];
        ssize_t n = read(worker.results, buffer, sizeof buffer);
        if (n > 0)
          worker.output.append(buffer, static_cast<size_t>(n));
        else
          died = true;
      }
      if (size_t newline = worker.output.find('\n'); newline != std::string::npos) {
        Json reply = Json::parse(worker.output.substr(0, newline), nullptr, false);
        worker.output.erase(0, newline + 1);
        result.verdicts[worker.job->site][worker.job->status] = {
            static_cast<VerdictKind>(reply.value("kind", 0)), reply.value("detail", "")};
        assign(worker);
        continue;
      }
      const bool timedOut = !died && Clock::now() - worker.started > limit;
      if (!died && !timedOut)
        continue;
      result.verdicts[worker.job->site][worker.job->status] = Lost(worker.pid, timedOut);
      Release(worker);
      worker = StartWorker(board, result, clean, workers);
      assign(worker);
    }
  }
  return result;
}

} // namespace boardsim
