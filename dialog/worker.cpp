// The worker thread that runs the engine, and the dialog's Start, Stop,
// completion and closing. The worker writes into the window only through
// synchronous messages; every wait of the dialog thread for it is bounded
// and, while it waits, carries out those messages so that a worker in the
// middle of an update can go on to its next stop poll.
#include <process.h>
#include <cerrno>

#include "dialog/dialog_program.h"
#include "engine/run_driver.h"
#include "foundation/text_output.h"

namespace zub::dialog {

namespace {

struct level_entry {
    int priority;
    DWORD extra_close_wait_ms;
};

// By load level 1 to 4: the worker's priority and the extra wait on closing.
const level_entry level_table[5] = {
    {THREAD_PRIORITY_NORMAL, 0},           {THREAD_PRIORITY_LOWEST, 40000}, {THREAD_PRIORITY_BELOW_NORMAL, 10000},
    {THREAD_PRIORITY_BELOW_NORMAL, 10000}, {THREAD_PRIORITY_NORMAL, 0},
};

const level_entry& level_of(int level) { return level_table[level >= 1 && level <= 4 ? level : 4]; }

uint64_t now_file_time() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// Waits up to `ms` for the thread, handling the messages other threads send
// to this one meanwhile (the worker's control updates). True when it ended.
bool wait_for_thread(HANDLE thread, DWORD ms) {
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (;;) {
        ULONGLONG now = GetTickCount64();
        DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, left, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void error_box(HWND dialog, const std::u16string& text) {
    MessageBoxW(dialog, wide(text), L"zub64", MB_OK | MB_ICONERROR);
}

void show_status(HWND dialog, std::u16string_view text) { set_control_text(dialog, IDC_STATUS, text); }

void enable(HWND dialog, int id, bool on) { EnableWindow(GetDlgItem(dialog, id), on ? TRUE : FALSE); }

void print_to_results(std::u16string_view format, fmt_args args) { app().out->print_result(zub::format(format, args)); }

unsigned __stdcall worker_main(void* parameter) {
    auto* state = static_cast<worker_state*>(parameter);
    program& p = app();
    p.engine_host.bind(*state);

    std::vector<std::u16string> run_argv{u"zub64", p.option_arg};
    if (p.extensions) {
        run_argv.emplace_back(u"-e");
        run_argv.push_back(*p.extensions);
    }
    run_argv.push_back(p.src_text);
    run_argv.push_back(p.dst_text);
    p.run->load_level = p.load_level;
    const int code = run_engine(*p.run, run_argv);

    if (code == EXIT_LOCK_HELD) {
        std::u16string folder;
        platform::current().current_dir(folder);
        p.out->show_status(text_of(IDS_LOCK_HELD));
        print_to_results(u"%s: %s\n", {fmt_arg(folder), fmt_arg(text_of(IDS_LOCK_HELD))});
    }
    state->finished = 1;
    PostMessageW(state->dialog, WM_WORKER_DONE, 0, 0);
    return static_cast<unsigned>(code);
}

// Starts the worker; an error text when the thread cannot be created.
std::optional<std::u16string> start_worker(HWND dialog) {
    program& p = app();
    worker_state& w = p.worker;
    w.thread_id = 0;
    w.thread = nullptr;
    w.exit_code = -1;
    w.dialog = dialog;
    w.stop_flag = &p.stop_flag;
    w.finished = 0;
    unsigned id = 0;
    uintptr_t thread = _beginthreadex(nullptr, 0, worker_main, &w, 0, &id);
    if (thread == 0) return errno_message_text(errno);
    w.thread_id = id;
    w.thread = reinterpret_cast<HANDLE>(thread);
    w.exit_code = STILL_ACTIVE;
    SetThreadPriority(w.thread, level_of(p.load_level).priority);
    return std::nullopt;
}

// Reads one folder field into `out`; false (with the result box or a box
// saying why) when the field is empty or too long.
bool take_folder(HWND dialog, int field, std::u16string& out) {
    const int length = GetWindowTextLengthW(GetDlgItem(dialog, field));
    std::u16string text = control_text(dialog, field, static_cast<size_t>(length) + 1);
    if (text.empty()) {
        set_control_text(dialog, IDC_RESULTS, text_of(IDS_NO_FOLDER));
        return false;
    }
    if (text.size() + 1 >= FOLDER_TEXT_UNITS + 1) {
        std::u16string message = text + u": " + system_message_text(ERROR_BUFFER_OVERFLOW);  // 111
        MessageBoxW(dialog, wide(message), L"zub64", MB_OK | MB_ICONEXCLAMATION);
        set_control_text(dialog, IDC_RESULTS, text_of(IDS_FOLDER_TOO_LONG));
        return false;
    }
    out = std::move(text);
    return true;
}

}  // namespace

void reset_output(HWND dialog) {
    app().out->reset();
    app().target.dialog = dialog;
    app().target.bar = GetDlgItem(dialog, IDC_PROGRESS);
}

void start_run(HWND dialog) {
    program& p = app();
    // A worker that has returned but whose completion is not yet handled
    // still owns the engine's inputs and the display: no second run then.
    if (p.worker.thread != nullptr) {
        show_status(dialog, text_of(IDS_ALREADY_STARTED));
        return;
    }
    reset_output(dialog);
    p.drop_target = 0;

    std::u16string src, dst;
    if (!take_folder(dialog, IDC_FOLDER1, src)) return;
    if (!take_folder(dialog, IDC_FOLDER2, dst)) return;
    p.src_text = std::move(src);
    p.dst_text = std::move(dst);

    add_history(dialog, IDC_FOLDER2, p.dst_text);
    add_history(dialog, IDC_FOLDER2, p.src_text);
    add_history(dialog, IDC_FOLDER1, p.src_text);
    add_history(dialog, IDC_FOLDER1, p.dst_text);

    if (int level = chosen_load_level(dialog); level != 0) p.load_level = level;
    p.start_time = now_file_time();

    const std::u16string letters = option_letters(dialog, p.extensions);
    p.option_arg = u"-lkgm" + letters;
    p.out->set_assume_match(letters.find(u'i') != std::u16string::npos);

    p.stop_flag = 0;
    p.out->show_progress(u"", -1);
    set_control_text(dialog, IDC_RESULTS, u"");

    if (std::optional<std::u16string> failure = start_worker(dialog)) {
        set_control_text(dialog, IDC_RESULTS, *failure);
        return;
    }
    enable(dialog, IDC_START, false);
    enable(dialog, IDC_STOP, true);
    p.saved_cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

void request_stop(HWND dialog) {
    app().stop_flag = 1;
    enable(dialog, IDC_STOP, false);
    show_status(dialog, text_of(IDS_STOPPING));
}

void finish_run(HWND dialog) {
    program& p = app();
    worker_state& w = p.worker;
    if (w.thread == nullptr) return;  // already handled on closing

    const int64_t elapsed = static_cast<int64_t>((now_file_time() - p.start_time) / 10000000);
    if (!wait_for_thread(w.thread, 20000)) error_box(dialog, u"Thread did not stop in 20 seconds.");

    DWORD code = 0;
    if (!GetExitCodeThread(w.thread, &code)) {
        print_to_results(u"Error: GetExitCodeThread()=%d\n", {fmt_arg(static_cast<int>(GetLastError()))});
        error_box(dialog, u"Error: GetExitCodeThread()");
        code = 0;
    } else if (code == STILL_ACTIVE) {
        p.stop_flag = 1;
        print_to_results(u"Error: GetExitCodeThread() STILL_ACTIVE\n", {});
        error_box(dialog, u"Error: GetExitCodeThread() STILL_ACTIVE");
    }
    w.exit_code = static_cast<int32_t>(code);

    HANDLE thread = w.thread;
    const DWORD thread_id = w.thread_id;
    const bool closed = CloseHandle(thread) != 0;
    const DWORD close_error = closed ? 0 : GetLastError();
    w.thread_id = 0;
    w.thread = nullptr;
    w.finished = 0;
    if (!closed) {
        show_status(dialog,
                    zub::format(u"Internal Error:closethread:CloseHandle(%d)=%d,threadid=%d",
                                {fmt_arg(reinterpret_cast<intptr_t>(thread)), fmt_arg(close_error), fmt_arg(thread_id)})
                        .substr(0, 255));
        return;
    }
    if (p.stop_flag != 0) show_status(dialog, text_of(IDS_STOPPED));

    if (p.stop_flag == 0) {
        if (w.exit_code != EXIT_LOCK_HELD) show_status(dialog, zub::format(text_of(IDS_FINISHED), {fmt_arg(elapsed)}));
        set_control_text(dialog, IDC_PERCENT, u"");
        SendMessageW(GetDlgItem(dialog, IDC_PROGRESS), PBM_SETPOS, 0, 0);
    }
    if (!p.keep_delete_mode) {
        CheckDlgButton(dialog, IDC_DELETE_PART, BST_UNCHECKED);
        CheckRadioButton(dialog, IDC_DELETE_NONE, IDC_DELETE_DST, IDC_DELETE_NONE);
    }
    SetCursor(p.saved_cursor);
    for (int id : {IDC_FOLDER1, IDC_BROWSE1, IDC_FOLDER2, IDC_BROWSE2, IDC_DELETE_NONE, IDC_DELETE_SRC, IDC_DELETE_DST,
                   IDC_REMOVE_READONLY, IDC_EMPTY_INSTEAD, IDC_TIMESTAMP, IDC_EXT_ONLY, IDC_EXTENSIONS, IDC_FIND_RANGE,
                   IDC_PARTIAL, IDC_DELETE_PART, IDC_APPEND, IDC_ASSUME_MATCH, IDC_START})
        enable(dialog, id, true);
    enable(dialog, IDC_STOP, false);
    SetFocus(dialog);

    if (IsDlgButtonChecked(dialog, IDC_SHOW_RESULTS) == BST_CHECKED && w.exit_code != EXIT_LOCK_HELD) {
        std::u16string folder;
        platform::current().current_dir(folder);
        ShellExecuteW(dialog, nullptr, L"zublog.txt", nullptr, wide(folder), SW_SHOWNORMAL);
    }
}

void save_and_stop(HWND dialog) {
    program& p = app();
    save_settings(dialog);
    worker_state& w = p.worker;
    if (w.thread != nullptr) {
        p.stop_flag = 1;
        enable(dialog, IDC_STOP, false);
        enable(dialog, IDC_CLOSE, false);
        show_status(dialog, text_of(IDS_STOPPING));
        const DWORD wait_ms = 20000 + level_of(p.load_level).extra_close_wait_ms;
        bool ended = wait_for_thread(w.thread, wait_ms);
        if (!ended) {
            error_box(dialog, zub::format(u"Thread did not stop in %d seconds.", {fmt_arg(wait_ms / 1000)}));
            ended = wait_for_thread(w.thread, 200);
        }
        if (ended) {
            // The run has ended: its completion needs no handling any more.
            CloseHandle(w.thread);
            w.thread = nullptr;
            w.thread_id = 0;
            w.finished = 0;
        }
        enable(dialog, IDC_STOP, true);
        enable(dialog, IDC_CLOSE, true);
    }
    if (p.stop_flag == 0) {
        p.src_text.clear();
        p.dst_text.clear();
        p.out->reset();
    }
}

}  // namespace zub::dialog
