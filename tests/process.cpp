#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

std::string TempPath(const char* what) {
  static int counter = 0;
  return "/tmp/boska-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + what;
}

int StatusOf(int wait_status) { return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1; }

// Starts the command in a process group of its own, with standard input on
// /dev/null, standard output into the file out, and standard error into the
// file err, or closed if err is empty.
pid_t Spawn(const std::vector<std::string>& command, const std::vector<std::string>& environment,
            const std::string& out, const std::string& err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (err.empty()) {
    posix_spawn_file_actions_addclose(&actions, 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> env_strings(environment);
  for (char** entry = environ; *entry != nullptr; ++entry) env_strings.emplace_back(*entry);
  std::vector<char*> envp;
  for (const std::string& entry : env_strings) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = -1;
  const int error = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("cannot start " + command[0]);
  return pid;
}

// Ends the process and whatever it started that is still in its group.
void KillGroup(pid_t Leader) { kill(-Leader, SIGKILL); }

}  // namespace

bool WaitUntil(const std::function<bool()>& Condition, std::chrono::milliseconds Timeout) {
  const auto deadline = std::chrono::steady_clock::now() + Timeout;
  while (!Condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::string Slurp(const std::string& Path) {
  std::ifstream file(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

Finished RunToEnd(const std::vector<std::string>& Command,
                  const std::vector<std::string>& Environment, std::chrono::seconds Timeout) {
  const std::string out = TempPath(".out"), err = TempPath(".err");
  const pid_t pid = Spawn(Command, Environment, out, err);
  int wait_status = 0;
  rusage usage{};
  const bool ended =
      WaitUntil([&] { return wait4(pid, &wait_status, WNOHANG, &usage) == pid; }, Timeout);
  if (!ended) {
    KillGroup(pid);
    waitpid(pid, nullptr, 0);
  }
  Finished finished{StatusOf(wait_status), Slurp(out), Slurp(err), usage.ru_maxrss};
  unlink(out.c_str());
  unlink(err.c_str());
  if (!ended) {
    throw std::runtime_error(Command[0] + " did not end within " + std::to_string(Timeout.count()) +
                             " s and was killed; it had said: " + finished.err);
  }
  return finished;
}

Child::Child(const std::vector<std::string>& Command, const std::vector<std::string>& Environment,
             ErrStream Err)
    : err_path_(TempPath(".err")) {
  pid_ = Spawn(Command, Environment, "/dev/null", Err == ErrStream::Closed ? "" : err_path_);
}

Child::~Child() {
  KillGroup(pid_);
  if (!status_) waitpid(pid_, nullptr, 0);
  unlink(err_path_.c_str());
}

std::optional<int> Child::WaitFor(std::chrono::milliseconds Timeout) {
  const auto deadline = std::chrono::steady_clock::now() + Timeout;
  while (!status_) {
    int wait_status = 0;
    if (waitpid(pid_, &wait_status, WNOHANG) == pid_) {
      status_ = StatusOf(wait_status);
    } else if (std::chrono::steady_clock::now() >= deadline) {
      break;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  return status_;
}

void Child::Signal(int Number) const { kill(pid_, Number); }

std::string Child::Err() const { return Slurp(err_path_); }
