// The dialog build's host: what the engine writes for the user goes into
// the result box, its display calls into the lower half of the window, and
// its stop polls read the dialog's stop flag.
#include "dialog/dialog_program.h"

namespace zub::dialog {

void window_target::set_text(int control, std::u16string_view text) { set_control_text(dialog, control, text); }

void window_target::set_bar(int position) { SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0); }

void dialog_host::bind(const worker_state& state) {
    stop_flag_ = state.stop_flag;
    app().target.dialog = state.dialog;
}

int dialog_host::write_out(std::u16string_view text) {
    app().out->print_result(text);
    return static_cast<int>(text.size());
}

int dialog_host::write_err(std::u16string_view text) { return write_out(text); }

bool dialog_host::stop_requested() { return stop_flag_ != nullptr && stop_flag_->load() != 0; }

void dialog_host::show_status(std::u16string_view text) { app().out->show_status(text); }

void dialog_host::show_progress(std::u16string_view text, int value) { app().out->show_progress(text, value); }

void dialog_host::show_counts(uint32_t same, uint32_t different, int64_t bytes) {
    app().out->show_counts(same, different, bytes);
}

}  // namespace zub::dialog
