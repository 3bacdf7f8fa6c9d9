#include "tests/program_run.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace tessaly::test {

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& unset) {
    ProgramRun run;
    int out[2];
    int err[2];
    if (::pipe(out) != 0) return run;
    if (::pipe(err) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return run;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const std::string& name : unset) ::unsetenv(name.c_str());
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::close(out[0]);
        ::close(err[0]);
        std::vector<std::string> copies = args;
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (std::string& arg : copies) argv.push_back(arg.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        std::_Exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    // Both pipes are read as they fill, so that a long help on one cannot block the program.
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&run.out, &run.err};
    int open = 2;
    while (pid > 0 && open > 0 && ::poll(fds, 2, 20000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(got));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& fd : fds) {
        if (fd.fd >= 0) ::close(fd.fd);
    }
    // A program still talking after the wait hangs: end it, so that the test fails instead.
    if (pid > 0 && open > 0) ::kill(pid, SIGKILL);
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    return run;
}

}  // namespace tessaly::test
