// The interface through which a front end receives everything a run writes
// for the user and answers stop requests. The engine never writes to a
// console itself: the console program supplies a host that writes to the
// standard streams and the terminal title, the dialog program one that fills
// its result box, status line, progress bar and counters, and the tests a
// capturing host. Every display hook is called in every build; a host that
// shows nothing of a kind leaves its hook empty. The few rules in which the
// two builds behave differently are the host's `rules()`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace zub {

struct run_state;

enum class build_kind { console, dialog };

// How a front end's runs differ beyond what they show.
struct host_rules {
    // -h and -? ask for the usage, which is written with bad usage and after
    // a bad option; otherwise H and ? are bad options like any other.
    bool usage = true;
    // A run takes the lock file "__LOCK__" in the current folder and is
    // refused (EXIT_LOCK_HELD) while another run holds it.
    bool run_lock = false;
    // A stop requested up to the end of the run makes it end with 1, not
    // only one that the walk saw.
    bool late_stop_fails = false;
};
// The rules of each front end.
inline constexpr host_rules rules_of(build_kind kind) {
    if (kind == build_kind::dialog) return {.usage = false, .run_lock = true, .late_stop_fails = true};
    return {};
}

class host {
public:
    virtual ~host() = default;

    virtual host_rules rules() const = 0;

    // Text the console build writes to its standard output (summary, -v lines,
    // byte dumps) and to its standard error (failures, same-folder lines).
    // Already formatted; line ends are bare LF. Return -1 when a console write
    // failed, else the number of units.
    virtual int write_out(std::u16string_view text) = 0;
    virtual int write_err(std::u16string_view text) = 0;
    // The -v path lines (the console build's verbose writer).
    virtual int write_verbose(std::u16string_view text) { return write_out(text); }

    // Taken once at the start of the run body (console record for the verbose writer).
    virtual void take_console_record() {}

    // -w: the console window title (console build).
    virtual void set_title(std::u16string_view) {}

    // Dialog build display hooks.
    virtual bool stop_requested() { return false; }
    virtual void show_status(std::u16string_view) {}
    virtual void show_progress(std::u16string_view, int) {}
    virtual void show_counts(uint32_t, uint32_t, int64_t) {}

    // A run to watch (the console's status line): each pair as it is taken
    // up (its path relative to the roots, and the bytes compared before it),
    // and before each block of its comparison the bytes of the pair read so
    // far. Called for every pair and block in both builds, so a host that
    // takes them keeps them cheap.
    virtual void watch_pair(std::u16string_view, uint64_t) {}
    virtual void watch_bytes(uint64_t) {}

    // Console build: asks for the two folders when the command line names
    // none; writes its own lines through the run state. nullopt on cancel.
    virtual std::optional<std::pair<std::u16string, std::u16string>> resolve_folders(run_state&) {
        return std::nullopt;
    }
};

}  // namespace zub
