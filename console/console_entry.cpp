// zub64's entry: wildcard expansion, the compare buffers, the banner, one run
// of the engine with the console host, and the exit status. When memory for
// an operation runs out, the program says so and ends with 1.
#include "console/console_entry.h"

#include <new>

#include "console/console_host.h"
#include "engine/byte_compare.h"
#include "engine/run_driver.h"
#include "foundation/settings.h"
#include "foundation/text_output.h"
#include "foundation/wildcards.h"
#include "platform/platform.h"

namespace zub {

namespace {

constexpr std::u16string_view banner = u"zub64 version 13\n";

}  // namespace

int zub64_main(std::vector<std::u16string> args) {
    if (!args.empty()) set_program_name(args[0]);
    // Chosen before the first line, so that a redirected standard error holds
    // one encoding throughout.
    choose_output_encoding(read_setting(u"options", u"encoding"));
    std::new_handler previous = std::set_new_handler(release_buffers_and_exit_out_of_memory);

    // A closed standard stream would hand its descriptor to the first result
    // file opened, which would then receive the console text too.
    platform::open_closed_standard_streams();
    platform::watch_interrupts();

    // On POSIX the shell has expanded the arguments already: taken as typed.
    std::vector<std::u16string> expanded = platform::expands_command_line_wildcards() ? expand_wildcards(args) : args;

    // Without the buffers the run still starts: help and usage work, and the
    // run driver refuses the comparison itself (exit status 1).
    if (reserve_compare_buffers() != 0) print_to(text_stream::err(), u"%s: inadequate memory.\n", program_name());

    print_to(text_stream::err(), banner);

    console_host host;
    run_state run(host);
    const int status = run_engine(run, expanded);

    release_compare_buffers();
    std::set_new_handler(previous);
    return status;
}

}  // namespace zub
