// Starting a built program on Windows for the end-to-end tests: CreateProcessW
// with a command line quoted by the rules the C runtime uses to split it
// again, standard input, output and error connected to pipes, each pipe
// served by its own thread so that no pipe can fill up and stall the child.
#include "platform/win32/windows_api.h"

#include <algorithm>
#include <thread>

#include "tests/support/run_program.h"

namespace zub::test {

namespace {

// One argument quoted so that CommandLineToArgvW and the C runtime give it
// back unchanged: backslashes are literal except before a double quote.
std::wstring quote(const std::u16string& arg) {
    if (!arg.empty() && arg.find_first_of(u" \t\n\v\"") == std::u16string::npos) {
        return std::wstring(arg.begin(), arg.end());
    }
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (char16_t c : arg) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') {
            out.append(backslashes * 2 + 1, L'\\');
        } else {
            out.append(backslashes, L'\\');
        }
        backslashes = 0;
        out.push_back(static_cast<wchar_t>(c));
    }
    out.append(backslashes * 2, L'\\');
    out.push_back(L'"');
    return out;
}

void drain(HANDLE pipe, std::string* sink) {
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) sink->append(buffer, got);
}

void feed(HANDLE pipe, const std::string* input) {
    size_t done = 0;
    while (done < input->size()) {
        DWORD wrote = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(input->size() - done, 65536));
        if (!WriteFile(pipe, input->data() + done, chunk, &wrote, nullptr) || wrote == 0) break;
        done += wrote;
    }
    CloseHandle(pipe);
}

// A pipe whose `child_end` is inherited and whose other end is not.
bool make_pipe(HANDLE& read_end, HANDLE& write_end, bool child_reads) {
    SECURITY_ATTRIBUTES sa{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!CreatePipe(&read_end, &write_end, &sa, 0)) return false;
    SetHandleInformation(child_reads ? write_end : read_end, HANDLE_FLAG_INHERIT, 0);
    return true;
}

}  // namespace

program_result run_program(const std::u16string& program, const std::vector<std::u16string>& args,
                           const std::u16string& working_dir, const std::string& input) {
    program_result result;
    HANDLE in_read, in_write, out_read, out_write, err_read, err_write;
    if (!make_pipe(in_read, in_write, true)) return result;
    if (!make_pipe(out_read, out_write, false)) {
        CloseHandle(in_read);
        CloseHandle(in_write);
        return result;
    }
    if (!make_pipe(err_read, err_write, false)) {
        for (HANDLE h : {in_read, in_write, out_read, out_write}) CloseHandle(h);
        return result;
    }

    std::wstring command = quote(program);
    for (const auto& a : args) {
        command += L' ';
        command += quote(a);
    }
    const std::wstring app(program.begin(), program.end());
    const std::wstring dir(working_dir.begin(), working_dir.end());

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in_read;
    si.hStdOutput = out_write;
    si.hStdError = err_write;
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessW(app.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        dir.empty() ? nullptr : dir.c_str(), &si, &pi);
    CloseHandle(in_read);
    CloseHandle(out_write);
    CloseHandle(err_write);
    if (!started) {
        CloseHandle(in_write);
        CloseHandle(out_read);
        CloseHandle(err_read);
        return result;
    }
    CloseHandle(pi.hThread);

    std::thread out_thread(drain, out_read, &result.out);
    std::thread err_thread(drain, err_read, &result.err);
    std::thread in_thread(feed, in_write, &input);
    WaitForSingleObject(pi.hProcess, INFINITE);
    out_thread.join();
    err_thread.join();
    in_thread.join();
    CloseHandle(out_read);
    CloseHandle(err_read);

    DWORD code = 0;
    if (GetExitCodeProcess(pi.hProcess, &code)) result.status = static_cast<int>(code);
    CloseHandle(pi.hProcess);
    return result;
}

// No pseudo-terminal here: the console tests in-process pose as one instead.
program_result run_in_terminal(const std::u16string&, const std::vector<std::u16string>&, const std::u16string&, int) {
    return {};
}

}  // namespace zub::test
