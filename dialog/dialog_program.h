// The dialog program's own state and the operations its parts share: the
// window (main_window.cpp), the worker thread with Start, Stop and closing
// (worker.cpp), the options panel with history, drop and settings
// (options_panel.cpp), and the host through which the engine writes into the
// window (dialog_host.cpp). Everything here lives on the dialog thread except
// what worker_state names as shared with the worker.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/windows_api.h"

#include <commctrl.h>  // after the Windows headers it needs

#include "dialog/display.h"
#include "dialog/resource_ids.h"
#include "engine/host.h"
#include "engine/run_state.h"

namespace zub::dialog {

// Posted by the worker when the run has returned.
inline constexpr UINT WM_WORKER_DONE = WM_APP + 0x100;  // 0x8100

// Folder texts hold at most this many units with their terminator.
inline constexpr size_t FOLDER_TEXT_UNITS = 32768;

// What the dialog thread shares with the worker. Filled before the thread
// exists; the worker writes only `finished`, before it posts WM_WORKER_DONE.
struct worker_state {
    DWORD thread_id = 0;
    HANDLE thread = nullptr;
    int32_t exit_code = -1;
    HWND dialog = nullptr;
    int result_box = IDC_RESULTS;
    int status_line = IDC_STATUS;
    int percent_field = IDC_PERCENT;
    int counters_field = IDC_COUNTERS;
    std::atomic<int32_t>* stop_flag = nullptr;
    std::atomic<int32_t> finished{0};
};

// The host of the dialog build: output into the result box, display hooks
// into the status line, percentage, bar and counters, stop requests from
// stop_flag. Bound to the window when a worker begins.
class dialog_host final : public host {
public:
    host_rules rules() const override { return rules_of(build_kind::dialog); }
    int write_out(std::u16string_view text) override;
    int write_err(std::u16string_view text) override;
    bool stop_requested() override;
    void show_status(std::u16string_view text) override;
    void show_progress(std::u16string_view text, int value) override;
    void show_counts(uint32_t same, uint32_t different, int64_t bytes) override;

    void bind(const worker_state& state);

private:
    const std::atomic<int32_t>* stop_flag_ = nullptr;
};

// Sets control texts and the bar of the dialog by (synchronous) messages, so
// that the worker's updates are carried out on the dialog thread.
class window_target final : public display_target {
public:
    void set_text(int control, std::u16string_view text) override;
    void set_bar(int position) override;
    HWND dialog = nullptr;
    HWND bar = nullptr;
};

struct program {
    HINSTANCE instance = nullptr;
    HWND dialog = nullptr;
    int exit_code = 0;
    std::u16string strings[23];  // ids 400 to 422

    // Worker and stop request.
    worker_state worker;
    std::atomic<int32_t> stop_flag{0};
    uint64_t start_time = 0;  // FILETIME units (UTC)
    HCURSOR saved_cursor = nullptr;

    // The engine's inputs, written by Start before the worker exists.
    std::u16string src_text, dst_text, option_arg;
    std::optional<std::u16string> extensions;
    int load_level = 4;

    // Options panel.
    bool keep_delete_mode = false;
    int drop_target = 0;  // 0 folder 1, 1 folder 2

    // Display and engine.
    window_target target;
    std::unique_ptr<display> out;
    dialog_host engine_host;
    std::unique_ptr<run_state> run;
};

program& app();
const std::u16string& text_of(int string_id);
inline const wchar_t* wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

// A control's text (at most `limit` units).
std::u16string control_text(HWND dialog, int id, size_t limit = FOLDER_TEXT_UNITS);
void set_control_text(HWND dialog, int id, std::u16string_view text);

// main_window.cpp
// `error`: the OS error code whose text follows the message.
void fatal_box(uint32_t error, std::u16string_view format, fmt_args args = {});

// worker.cpp
void start_run(HWND dialog);
void request_stop(HWND dialog);
void finish_run(HWND dialog);
void save_and_stop(HWND dialog);
// Empties the result text and takes the bar again (program start, Start).
void reset_output(HWND dialog);

// options_panel.cpp
void init_dialog(HWND dialog);
void add_history(HWND dialog, int field, const std::u16string& text);
// The option letters of the checked controls, and the extensions text when
// the extension filter is on with a text.
std::u16string option_letters(HWND dialog, std::optional<std::u16string>& extensions);
// The load level chosen in the priority selector (0 when none is chosen).
int chosen_load_level(HWND dialog);
void browse(HWND dialog, int button);
void handle_drop(HWND dialog, HDROP drop);
void save_settings(HWND dialog);

}  // namespace zub::dialog
