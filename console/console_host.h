// The host of the console program zub64: the engine's standard output and
// error text goes to the process's standard streams through the printers,
// the -w title to the console window (or terminal) title, and when the
// command line names no folder the two folders are asked for with the folder
// picker, starting from the pair remembered in the settings file.
#pragma once

#include "engine/host.h"
#include "engine/run_state.h"

namespace zub {

class console_host : public host {
public:
    host_rules rules() const override { return rules_of(build_kind::console); }
    int write_out(std::u16string_view text) override;
    int write_err(std::u16string_view text) override;
    int write_verbose(std::u16string_view text) override;
    void take_console_record() override;
    void set_title(std::u16string_view title) override;
    // Ctrl+C (SIGINT, SIGTERM, a console close event) stops the run at its next poll.
    bool stop_requested() override;
    std::optional<std::pair<std::u16string, std::u16string>> resolve_folders(run_state& run) override;
};

}  // namespace zub
