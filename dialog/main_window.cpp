// The entry of the dialog program zub: loads its strings, creates the
// modeless dialog "IDD_DIALOG", reserves the compare buffers and runs the
// message loop; the dialog procedure dispatches to Start, Stop, closing,
// browsing, dropping and the worker's completion; fatal_box reports failures
// outside a run.
#include <cwchar>

#include "dialog/dialog_program.h"
#include "engine/byte_compare.h"
#include "foundation/settings.h"
#include "foundation/text_output.h"

namespace zub::dialog {

program& app() {
    static program state;
    return state;
}

const std::u16string& text_of(int string_id) {
    static const std::u16string none;
    if (string_id < IDS_BANNER || string_id > IDS_IDLE) return none;
    return app().strings[string_id - IDS_BANNER];
}

std::u16string control_text(HWND dialog, int id, size_t limit) {
    std::u16string text(limit, u'\0');
    const UINT n = GetDlgItemTextW(dialog, id, reinterpret_cast<wchar_t*>(text.data()), static_cast<int>(limit));
    text.resize(n);
    return text;
}

void set_control_text(HWND dialog, int id, std::u16string_view text) {
    std::u16string copy(text);
    SetDlgItemTextW(dialog, id, wide(copy));
}

void fatal_box(uint32_t error, std::u16string_view format, fmt_args args) {
    constexpr size_t text_units = 36864;  // 36,863 characters and the terminator
    constexpr size_t whole_units = 18432;
    std::u16string text(text_units, u'\0');
    int n = format_to(text.data(), text_units, format, args);
    text.resize(n > 0 ? static_cast<size_t>(n) : std::char_traits<char16_t>::length(text.c_str()));
    std::u16string description = system_message_text(error);
    if (text.size() + 1 < whole_units) text += description.substr(0, whole_units - 1 - text.size());
    if (MessageBoxW(nullptr, wide(text), L"zub64", MB_OKCANCEL) == IDCANCEL) PostQuitMessage(1);
}

namespace {

void load_strings() {
    static const int order[] = {400, 401, 405, 402, 403, 404, 406, 418, 407, 408,
                                410, 411, 412, 415, 416, 417, 419, 420, 421, 422};
    wchar_t buffer[1024];
    for (int id : order) {
        int n = LoadStringW(app().instance, static_cast<UINT>(id), buffer, 1024);
        app().strings[id - IDS_BANNER].assign(reinterpret_cast<const char16_t*>(buffer), n > 0 ? n : 0);
    }
}

void set_icon(HWND dialog) {
    HANDLE icon = LoadImageW(app().instance, MAKEINTRESOURCEW(IDI_ZUB), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                             GetSystemMetrics(SM_CYSMICON), 0);
    if (icon == nullptr) return;
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
}

void show_about(HWND dialog) {
    MessageBoxW(dialog, wide(text_of(IDS_BANNER)), wide(text_of(IDS_ABOUT_CAPTION)), MB_OK);
}

INT_PTR CALLBACK dialog_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_INITDIALOG:
        app().dialog = dialog;
        set_icon(dialog);
        init_dialog(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDC_START: start_run(dialog); return TRUE;
        case IDC_CLOSE:
        case IDM_EXIT:
            save_and_stop(dialog);
            PostQuitMessage(app().exit_code);
            return TRUE;
        case IDC_STOP: request_stop(dialog); return TRUE;
        case IDM_ABOUT: show_about(dialog); return TRUE;
        case IDC_BROWSE1:
        case IDC_BROWSE2: browse(dialog, LOWORD(wparam)); return TRUE;
        default: return FALSE;
        }
    case WM_DROPFILES: handle_drop(dialog, reinterpret_cast<HDROP>(wparam)); return TRUE;
    case WM_CLOSE:
        save_and_stop(dialog);
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        save_and_stop(dialog);
        PostQuitMessage(app().exit_code);
        return TRUE;
    case WM_WORKER_DONE: finish_run(dialog); return TRUE;
    default: (void)lparam; return FALSE;
    }
}

// Without the executable's path there is no settings file: say so and end.
void module_name_failed(uint32_t code) {
    std::u16string text = u"can't GetModuleFileName(NULL,,) " + system_message_text(code);
    MessageBoxW(nullptr, wide(text), L"zub64", MB_OK | MB_ICONEXCLAMATION);
    PostQuitMessage(1);
}

void bad_folder() {
    MessageBoxW(nullptr, L"bad folder - not a part of the file system.", L"zub64", MB_OK | MB_ICONEXCLAMATION);
}

int run_program(HINSTANCE instance, int show) {
    program& p = app();
    p.instance = instance;
    load_strings();
    p.exit_code = 0;
    set_module_name_failure_handler(module_name_failed);
    set_bad_folder_handler(bad_folder);
    set_program_name(u"zub64");

    p.out = std::make_unique<display>(p.target, text_of(IDS_PERCENT));
    p.run = std::make_unique<run_state>(p.engine_host);

    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    HWND dialog = CreateDialogParamW(instance, wide(text_of(IDS_TEMPLATE)), nullptr, dialog_procedure, 0);
    if (dialog == nullptr) {
        const uint32_t error = GetLastError();
        fatal_box(error, u"CreateDialog(,%s,) err=%d ", {fmt_arg(text_of(IDS_TEMPLATE)), fmt_arg(error)});
        return 1;
    }
    p.dialog = dialog;
    if (!reserve_compare_buffers()) {
        fatal_box(GetLastError(), u"inadequate memory.\n");
    }
    reset_output(dialog);
    p.drop_target = 0;
    ShowWindow(dialog, show);
    UpdateWindow(dialog);

    MSG msg{};
    for (;;) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) break;
        if (got == -1) {
            fatal_box(GetLastError(), u"GetMessage() ");
            return 1;
        }
        if (IsWindow(p.dialog) && IsDialogMessageW(p.dialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    release_compare_buffers();
    return static_cast<int>(msg.wParam);
}

}  // namespace

}  // namespace zub::dialog

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) { return zub::dialog::run_program(instance, show); }
