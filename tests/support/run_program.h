// Starts a built program with arguments, a working folder and redirected
// standard streams, waits for it and returns its exit status and the raw
// bytes it wrote (UTF-16LE when redirected). Used by the end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace zub::test {

struct program_result {
    int status = -1;
    std::string out;  // raw bytes of standard output
    std::string err;  // raw bytes of standard error
};

// `program` is an absolute path; `args` exclude argument 0 (the program path
// is passed as argument 0). Standard input is empty (end of input at once).
program_result run_program(const std::u16string& program, const std::vector<std::u16string>& args,
                           const std::u16string& working_dir, const std::string& input = {});

// The same with standard input, output and error on one pseudo-terminal of
// `columns` columns: `out` holds everything the terminal received. POSIX
// only; elsewhere the status is -1.
program_result run_in_terminal(const std::u16string& program, const std::vector<std::u16string>& args,
                               const std::u16string& working_dir, int columns);

}  // namespace zub::test
