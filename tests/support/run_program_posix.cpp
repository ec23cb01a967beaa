// Starting a built program on POSIX for the end-to-end tests: fork and exec
// with standard input, output and error connected to pipes. The three pipes
// are served together with poll(), so a program that writes much before it
// reads (or the other way round) cannot dead-lock against the test. Or on a
// pseudo-terminal, for what a program shows only to a terminal.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/utf.h"
#include "tests/support/run_program.h"

namespace zub::test {

namespace {

void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::vector<std::string> argv_bytes(const std::u16string& program, const std::vector<std::u16string>& args) {
    std::vector<std::string> bytes{platform::bytes_from_utf16(program)};
    for (const auto& a : args) bytes.push_back(platform::bytes_from_utf16(a));
    return bytes;
}

int wait_for(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

}  // namespace

program_result run_in_terminal(const std::u16string& program, const std::vector<std::u16string>& args,
                               const std::u16string& working_dir, int columns) {
    program_result result;
    std::vector<std::string> arg_bytes = argv_bytes(program, args);
    std::vector<char*> argv;
    argv.reserve(arg_bytes.size() + 1);
    for (auto& a : arg_bytes) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string dir = platform::bytes_from_utf16(working_dir);

    winsize size{};
    size.ws_row = 24;
    size.ws_col = static_cast<unsigned short>(columns);
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, &size);
    if (child == 0) {
        if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (child < 0) return result;
    // Until the program has ended and closed its side (then read fails with EIO).
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(terminal, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        result.out.append(buffer, static_cast<size_t>(n));
    }
    ::close(terminal);
    result.status = wait_for(child);
    return result;
}

program_result run_program(const std::u16string& program, const std::vector<std::u16string>& args,
                           const std::u16string& working_dir, const std::string& input) {
    program_result result;
    const std::string dir = platform::bytes_from_utf16(working_dir);
    std::vector<std::string> arg_bytes = argv_bytes(program, args);
    const std::string& path = arg_bytes[0];
    std::vector<char*> argv;
    argv.reserve(arg_bytes.size() + 1);
    for (auto& a : arg_bytes) argv.push_back(a.data());
    argv.push_back(nullptr);

    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe2(in_pipe, O_CLOEXEC) != 0) return result;
    if (pipe2(out_pipe, O_CLOEXEC) != 0) {
        ::close(in_pipe[0]);
        ::close(in_pipe[1]);
        return result;
    }
    if (pipe2(err_pipe, O_CLOEXEC) != 0) {
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1]}) ::close(fd);
        return result;
    }

    const pid_t child = fork();
    if (child == 0) {
        dup2(in_pipe[0], STDIN_FILENO);
        dup2(out_pipe[1], STDOUT_FILENO);
        dup2(err_pipe[1], STDERR_FILENO);
        if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    int to_child = in_pipe[1], from_out = out_pipe[0], from_err = err_pipe[0];
    if (child < 0) {
        close_fd(to_child);
        close_fd(from_out);
        close_fd(from_err);
        return result;
    }

    // A child that ends without reading its input must not kill the test.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);

    size_t written = 0;
    if (input.empty()) close_fd(to_child);
    while (from_out >= 0 || from_err >= 0 || to_child >= 0) {
        pollfd fds[3];
        nfds_t count = 0;
        if (from_out >= 0) fds[count++] = {from_out, POLLIN, 0};
        if (from_err >= 0) fds[count++] = {from_err, POLLIN, 0};
        if (to_child >= 0) fds[count++] = {to_child, POLLOUT, 0};
        if (poll(fds, count, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents == 0) continue;
            if (fds[i].fd == to_child) {
                const ssize_t n = ::write(to_child, input.data() + written, input.size() - written);
                if (n > 0) written += static_cast<size_t>(n);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0 || written == input.size()) close_fd(to_child);
                continue;
            }
            char buffer[65536];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            std::string& sink = fds[i].fd == from_out ? result.out : result.err;
            if (n > 0) {
                sink.append(buffer, static_cast<size_t>(n));
            } else if (fds[i].fd == from_out) {
                close_fd(from_out);
            } else {
                close_fd(from_err);
            }
        }
    }
    close_fd(to_child);
    close_fd(from_out);
    close_fd(from_err);
    sigaction(SIGPIPE, &previous, nullptr);

    result.status = wait_for(child);
    return result;
}

}  // namespace zub::test
