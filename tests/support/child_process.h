// A program started by a test and ended when the test is over.
#pragma once

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zarvex::test {

class ChildProcess {
public:
    ChildProcess() = default;
    explicit ChildProcess(const std::vector<std::string>& argv, const std::string& logFile = "/dev/null")
    {
        Start(argv, logFile);
    }
    ~ChildProcess() { Kill(SIGKILL); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void Start(const std::vector<std::string>& argv, const std::string& logFile = "/dev/null")
    {
        pid_ = ::fork();
        if (pid_ == 0) {
            const int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (log >= 0) {
                ::dup2(log, 1);
                ::dup2(log, 2);
            }
            std::vector<char*> args;
            for (const auto& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
    }
    // Sends the signal and waits for the end; true if the program was running.
    bool Kill(int signal)
    {
        if (pid_ <= 0)
            return false;
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return true;
    }
    pid_t Pid() const { return pid_; }
    // Reaps an ended program and forgets its pid, which the system may reuse.
    bool Running()
    {
        if (pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) != 0)
            pid_ = -1;
        return pid_ > 0;
    }

private:
    pid_t pid_ = -1;
};

} // namespace zarvex::test
