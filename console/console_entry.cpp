// zub64's entry: --help and --version, wildcard expansion, the compare
// buffers, the banner, one run of the engine with the console host, and the
// exit status. When memory for an operation runs out, the program says so and
// ends with 1.
#include "console/console_entry.h"

#include <new>
#include <optional>

#include "console/console_host.h"
#include "engine/byte_compare.h"
#include "engine/run_driver.h"
#include "foundation/settings.h"
#include "foundation/text_output.h"
#include "foundation/wildcards.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace zub {

namespace {

constexpr std::u16string_view version_line = u"zub64 version 13\n";

// `--help` or `--version` as the first argument: the usage or the version
// line on standard output and status 0, before anything of a run (no banner,
// no run log). On POSIX the text is plain UTF-8 for the shell's tools.
std::optional<int> answer_long_option(const std::vector<std::u16string>& args) {
    if (args.size() < 2 || (args[1] != u"--help" && args[1] != u"--version")) return std::nullopt;
    if (platform::native_path_style() == platform::path_style::posix) set_output_encoding(text_encoding::utf8);
    if (args[1] == u"--help")
        print_out(usage_text, program_name());
    else
        print_out(version_line);
    return 0;
}

}  // namespace

int zub64_main(std::vector<std::u16string> args) {
    if (!args.empty()) set_program_name(args[0]);
    // Chosen before the first line, so that a redirected standard error holds
    // one encoding throughout.
    choose_output_encoding(read_setting(u"options", u"encoding"));
    if (std::optional<int> answered = answer_long_option(args)) return *answered;
    std::new_handler previous = std::set_new_handler(release_buffers_and_exit_out_of_memory);

    // A closed standard stream would hand its descriptor to the first result
    // file opened, which would then receive the console text too.
    platform::open_closed_standard_streams();
    platform::watch_interrupts();

    // On POSIX the shell has expanded the arguments already: taken as typed.
    std::vector<std::u16string> expanded = platform::expands_command_line_wildcards() ? expand_wildcards(args) : args;

    // Without the buffers the run still starts: help and usage work, and the
    // run driver refuses the comparison itself (exit status 1).
    if (!reserve_compare_buffers()) print_to(text_stream::err(), u"%s: inadequate memory.\n", program_name());

    print_to(text_stream::err(), version_line);

    console_host host;
    run_state run(host);
    host.watch(run, environment_text("ZUB_PROGRESS"), read_setting(u"options", u"progress"));
    const int status = run_engine(run, expanded);
    host.end_watch();

    release_compare_buffers();
    std::set_new_handler(previous);
    return status;
}

}  // namespace zub
