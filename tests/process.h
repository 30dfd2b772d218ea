// Starting the programs under test as separate processes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct Finished {
  int status = -1;  // exit status, or -1 after a signal
  std::string out;
  std::string err;
  long peak_kilobytes = 0;  // largest resident set
};

// Whether Condition holds within Timeout, asked again every 20 ms; a test
// waits for what it needs, never for a time that happened to be enough.
bool WaitUntil(const std::function<bool()>& Condition, std::chrono::milliseconds Timeout);

// The whole content of a file, or nothing if it cannot be read.
std::string Slurp(const std::string& Path);

// Runs a command to its end, capturing its output. One that has not ended
// within Timeout is killed, with whatever it started, and throws: a stuck
// helper fails its test and says so, it never hangs the suite.
Finished RunToEnd(const std::vector<std::string>& Command,
                  const std::vector<std::string>& Environment = {},
                  std::chrono::seconds Timeout = std::chrono::seconds(60));

// What a child's standard error is: captured for Err, or closed, as some
// launchers start programs.
enum class ErrStream { Captured, Closed };

// A process running in the background in a process group of its own; at the
// end it is killed with whatever it started that still runs.
class Child {
 public:
  Child(const std::vector<std::string>& Command, const std::vector<std::string>& Environment = {},
        ErrStream Err = ErrStream::Captured);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t Pid() const { return pid_; }
  // The exit status once the process has ended within Timeout; nothing if it
  // is still running.
  std::optional<int> WaitFor(std::chrono::milliseconds Timeout);
  void Signal(int Number) const;
  std::string Err() const;

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  std::string err_path_;
};
