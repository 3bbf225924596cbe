#include "SuiteRunner.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace boardsim {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kNoArguments;

BoardRun RunOne(const std::string &self, const std::string &path,
                const std::vector<std::string> &runOptions,
                const std::vector<std::string> &extraArguments) {
  BoardRun run{path, 0, {}, 0};
  const auto start = std::chrono::steady_clock::now();
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) {
    run.status = 1;
    run.output = "boardsim: cannot create a pipe for the run\n";
    return run;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<std::string> args = {self, "run", path, "--quiet"};
  args.insert(args.end(), runOptions.begin(), runOptions.end());
  args.insert(args.end(), extraArguments.begin(), extraArguments.end());
  std::vector<char *> argv;
  for (std::string &arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (error != 0) {
    close(pipeFds[0]);
    run.status = 1;
    run.output = "boardsim: cannot start " + self + "\n";
    return run;
  }
  char buffer[4096];
  for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) != 0;) {
    if (n > 0)
      run.output.append(buffer, static_cast<size_t>(n));
    else if (errno != EINTR)
      break;
  }
  close(pipeFds[0]);
  int waitStatus = 0;
  while (waitpid(pid, &waitStatus, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return run;
}

} // namespace

std::vector<std::string> CollectBoardFiles(const std::vector<std::string> &paths) {
  std::vector<std::string> files;
  for (const std::string &path : paths) {
    std::error_code error;
    if (!fs::is_directory(path, error)) {
      files.push_back(path);
      continue;
    }
    std::vector<std::string> found;
    for (const auto &entry : fs::recursive_directory_iterator(path, error))
      if (entry.is_regular_file() && entry.path().extension() == ".toml")
        found.push_back(entry.path().string());
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
  }
  return files;
}

std::vector<BoardRun> RunBoards(const std::string &self, const std::vector<std::string> &files,
                                unsigned jobs, const std::vector<std::string> &runOptions,
                                const std::function<void(const BoardRun &)> &done,
                                const std::vector<std::vector<std::string>> &extraArguments) {
  std::vector<BoardRun> runs(files.size());
  std::vector<bool> finished(files.size(), false);
  std::atomic<size_t> next{0};
  std::mutex mutex;
  size_t reported = 0;
  auto worker = [&] {
    for (size_t i; (i = next++) < files.size();) {
      BoardRun run = RunOne(self, files[i], runOptions,
                            i < extraArguments.size() ? extraArguments[i] : kNoArguments);
      std::lock_guard lock(mutex);
      runs[i] = std::move(run);
      finished[i] = true;
      for (; reported < files.size() && finished[reported]; ++reported)
        done(runs[reported]);
    }
  };
  std::vector<std::thread> threads;
  for (unsigned k = 0; k < std::max(1u, jobs); ++k)
    threads.emplace_back(worker);
  for (std::thread &thread : threads)
    thread.join();
  return runs;
}

} // namespace boardsim
