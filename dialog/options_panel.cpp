// The dialog's upper half: filling the controls at start from the settings
// file, the folder history lists, the option letters of a run, the priority
// selector, the browse buttons, folders dropped from the shell, and saving
// the settings on closing.
#include "dialog/dialog_program.h"
#include "foundation/paths.h"
#include "foundation/settings.h"

namespace zub::dialog {

namespace {

// Check boxes kept in section "options", in the order they are read.
struct option_box {
    const char16_t* key;
    int control;
};
const option_box read_order[] = {
    {u"removereadonly", IDC_REMOVE_READONLY}, {u"removemode", IDC_EMPTY_INSTEAD}, {u"timestamp", IDC_TIMESTAMP},
    {u"extensiononly", IDC_EXT_ONLY},         {u"logappend", IDC_APPEND},         {u"compare", IDC_ASSUME_MATCH},
    {u"display", IDC_SHOW_RESULTS},
};

// The load level is kept with the options as its digit.
constexpr std::u16string_view level_key = u"loadlevel";

bool checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void select_level(HWND dialog, int level) {
    HWND selector = GetDlgItem(dialog, IDC_PRIORITY);
    const int count = static_cast<int>(SendMessageW(selector, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t entry[64] = {};
        if (SendMessageW(selector, CB_GETLBTEXTLEN, i, 0) >= 64) continue;
        SendMessageW(selector, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
        if (entry[0] == static_cast<wchar_t>(u'0' + level)) {
            SendMessageW(selector, CB_SETCURSEL, i, 0);
            return;
        }
    }
}

bool inside(const RECT& r, POINT p) { return p.x >= r.left && p.x <= r.right && p.y >= r.top && p.y <= r.bottom; }

}  // namespace

void add_history(HWND dialog, int field, const std::u16string& text) {
    // An exact search that ignores letter case, done here rather than with
    // CB_FINDSTRINGEXACT, whose answer for the empty text varies.
    HWND box = GetDlgItem(dialog, field);
    const int count = static_cast<int>(SendMessageW(box, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(box, CB_GETLBTEXTLEN, i, 0);
        if (length == CB_ERR || static_cast<size_t>(length) != text.size()) continue;
        std::u16string entry(static_cast<size_t>(length) + 1, u'\0');
        SendMessageW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
        entry.resize(static_cast<size_t>(length));
        const int units = static_cast<int>(length);
        if (CompareStringOrdinal(wide(entry), units, wide(text), units, TRUE) == CSTR_EQUAL) return;
    }
    SendMessageW(box, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(wide(text)));
}

void init_dialog(HWND dialog) {
    program& p = app();
    set_control_text(dialog, IDC_STATUS, text_of(IDS_BANNER));
    set_control_text(dialog, IDC_RESULTS, text_of(IDS_WELCOME));
    CheckRadioButton(dialog, IDC_DELETE_NONE, IDC_DELETE_DST, IDC_DELETE_NONE);

    std::u16string source = read_setting(u"history0", u"source");
    if (!source.empty()) set_control_text(dialog, IDC_FOLDER1, source);
    add_history(dialog, IDC_FOLDER1, source);
    const std::u16string destination = read_setting(u"history0", u"destination");
    if (!destination.empty()) set_control_text(dialog, IDC_FOLDER2, destination);
    add_history(dialog, IDC_FOLDER2, destination);
    add_history(dialog, IDC_FOLDER1, destination);
    source = read_setting(u"history0", u"source");
    if (!source.empty()) set_control_text(dialog, IDC_FOLDER1, source);
    add_history(dialog, IDC_FOLDER2, source);

    // "extensions" is read right after "extensiononly".
    for (const option_box& box : read_order) {
        const std::u16string value = read_setting(u"options", box.key);
        CheckDlgButton(dialog, box.control, !value.empty() && value[0] == u'1' ? BST_CHECKED : BST_UNCHECKED);
        if (box.control == IDC_EXT_ONLY) {
            const std::u16string extensions = read_setting(u"options", u"extensions");
            if (!extensions.empty()) set_control_text(dialog, IDC_EXTENSIONS, extensions);
        }
    }
    p.keep_delete_mode = read_setting(u"options", u"deletemode") == u"Unsafe";

    // The priority selector: the entries of string 421, then the kept level.
    const std::u16string& entries = text_of(IDS_PRIORITIES);
    HWND selector = GetDlgItem(dialog, IDC_PRIORITY);
    for (size_t start = 0; start <= entries.size();) {
        size_t bar = entries.find(u'|', start);
        if (bar == std::u16string::npos) bar = entries.size();
        const std::u16string entry = entries.substr(start, bar - start);
        if (!entry.empty()) SendMessageW(selector, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(entry)));
        start = bar + 1;
    }
    const std::u16string level = read_setting(u"options", level_key);
    select_level(dialog, !level.empty() && level[0] >= u'1' && level[0] <= u'4' ? level[0] - u'0' : p.load_level);

    DragAcceptFiles(dialog, TRUE);
    EnableWindow(GetDlgItem(dialog, IDC_STOP), FALSE);
}

std::u16string option_letters(HWND dialog, std::optional<std::u16string>& extensions) {
    std::u16string letters;
    if (!checked(dialog, IDC_DELETE_NONE)) {
        if (checked(dialog, IDC_DELETE_SRC))
            letters += u's';
        else if (checked(dialog, IDC_DELETE_DST))
            letters += u'd';
    }
    if (checked(dialog, IDC_REMOVE_READONLY)) letters += u'r';
    if (checked(dialog, IDC_EMPTY_INSTEAD)) letters += u'z';
    if (checked(dialog, IDC_TIMESTAMP)) letters += u't';
    extensions.reset();
    std::u16string ext = control_text(dialog, IDC_EXTENSIONS);
    if (!ext.empty() && checked(dialog, IDC_EXT_ONLY)) extensions = std::move(ext);
    if (checked(dialog, IDC_FIND_RANGE)) letters += u'n';
    if (checked(dialog, IDC_PARTIAL)) letters += u'p';
    if (checked(dialog, IDC_DELETE_PART)) letters += u'q';
    if (checked(dialog, IDC_APPEND)) letters += u'a';
    if (checked(dialog, IDC_ASSUME_MATCH)) letters += u'i';
    return letters;
}

int chosen_load_level(HWND dialog) {
    const std::u16string entry = control_text(dialog, IDC_PRIORITY, 64);
    return !entry.empty() && entry[0] >= u'1' && entry[0] <= u'4' ? entry[0] - u'0' : 0;
}

void browse(HWND dialog, int button) {
    const int field = button == IDC_BROWSE1 ? IDC_FOLDER1 : IDC_FOLDER2;
    const std::u16string current = control_text(dialog, field, 32767 + 1);
    const std::u16string& title = text_of(button == IDC_BROWSE1 ? IDS_PICK1_TITLE : IDS_PICK2_TITLE);
    if (std::optional<std::u16string> chosen = pick_folder(current, title)) set_control_text(dialog, field, *chosen);
}

void handle_drop(HWND dialog, HDROP drop) {
    program& p = app();
    RECT field1{}, field2{};
    GetWindowRect(GetDlgItem(dialog, IDC_FOLDER1), &field1);
    GetWindowRect(GetDlgItem(dialog, IDC_FOLDER2), &field2);
    POINT point{};
    DragQueryPoint(drop, &point);
    ClientToScreen(dialog, &point);

    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    std::vector<wchar_t> path(65538);
    for (UINT i = 0; i < count; ++i) {
        const UINT n = DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size()));
        if (n == 0) continue;
        int field;
        if (inside(field1, point)) {
            field = IDC_FOLDER1;
            p.drop_target = 1;
        } else if (inside(field2, point)) {
            field = IDC_FOLDER2;
            p.drop_target = 0;
        } else {
            field = p.drop_target == 0 ? IDC_FOLDER1 : IDC_FOLDER2;
            p.drop_target = 1 - p.drop_target;
        }
        const std::u16string dropped(reinterpret_cast<const char16_t*>(path.data()), n);
        const std::optional<std::u16string> shown = make_display_path(dropped);
        set_control_text(dialog, field, shown ? *shown : dropped);
    }
    DragFinish(drop);
}

void save_settings(HWND dialog) {
    write_setting(u"options", u"extensions", control_text(dialog, IDC_EXTENSIONS));
    for (const option_box& box : read_order)
        write_setting(u"options", box.key, checked(dialog, box.control) ? u"1" : u"0");
    const int level = chosen_load_level(dialog);
    if (level != 0) write_setting(u"options", level_key, std::u16string(1, static_cast<char16_t>(u'0' + level)));
}

}  // namespace zub::dialog
