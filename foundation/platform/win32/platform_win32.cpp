// The Win32 implementation of the platform layer: each primitive of
// platform.h is the Win32 call of the same purpose, with the flags the
// calling code relies on (unbuffered sequential reads for comparing, an
// unshared open for the run lock, the shell's folder browser for picking).
// UTF-16 text is handed to the W functions as wchar_t, which is 16 bits wide
// on Windows. A call that hands its failure code back reads the system's code
// right after the failing call and puts it into its `error` argument; the
// thread's last error is read nowhere else.
#include "platform/platform.h"

#include "platform/win32/windows_api.h"

#include <string.h>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <vector>

namespace zub::platform {

namespace {

// Buffer sizes in UTF-16 units, terminating NUL included.
constexpr DWORD FULL_PATH_UNITS = 32773;
constexpr DWORD CURRENT_DIR_UNITS = 32768;
constexpr DWORD MODULE_PATH_UNITS = 32769;
constexpr DWORD PROFILE_RAW_UNITS = 163852;
constexpr DWORD PICKER_UNITS = 32772;

// A NUL-terminated copy of a borrowed text for the W functions. A text that
// holds a NUL itself cannot be passed on: the system would see only the part
// before it and act on another name (delete "a" when asked for "a\0b"), so
// such a name is refused with ERROR_INVALID_NAME.
class wide_text {
public:
    explicit wide_text(std::u16string_view text) : copy_(text), ok_(text.find(u'\0') == std::u16string_view::npos) {}
    // Whether the text can be passed on; the code of a refusal goes to `error`.
    bool ok(uint32_t& error) const {
        if (!ok_) error = ERROR_INVALID_NAME;
        return ok_;
    }
    // Whether the text can be passed on, for a call that hands no code back.
    bool whole() const { return ok_; }
    const wchar_t* get() const { return reinterpret_cast<const wchar_t*>(copy_.c_str()); }

private:
    std::u16string copy_;
    bool ok_;
};

// Hands the system's code for the call that just failed to the caller, and
// returns the failure value.
template <class T>
T failed(uint32_t& error, T value) {
    error = GetLastError();
    return value;
}

std::u16string from_wide(const wchar_t* text, size_t length) {
    return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

std::u16string from_wide(const wchar_t* text) { return from_wide(text, std::wcslen(text)); }

template <class Tag>
HANDLE native(basic_handle<Tag> h) {
    return reinterpret_cast<HANDLE>(h.value);
}

// A system handle as a handle of the kind `Handle` (files by default).
template <class Handle = file_handle>
Handle wrap(HANDLE h) {
    if (h == INVALID_HANDLE_VALUE || h == nullptr) return INVALID_HANDLE;
    return Handle{reinterpret_cast<intptr_t>(h)};
}

// The same, with the system's code in `error` when the call that made it failed.
template <class Handle = file_handle>
Handle wrap(HANDLE h, uint32_t& error) {
    const Handle wrapped = wrap<Handle>(h);
    return wrapped.valid() ? wrapped : failed(error, wrapped);
}

uint64_t join64(DWORD high, DWORD low) { return (static_cast<uint64_t>(high) << 32) | low; }

file_time from_filetime(const FILETIME& t) { return join64(t.dwHighDateTime, t.dwLowDateTime); }

void fill_entry(const WIN32_FIND_DATAW& data, find_entry& entry) {
    entry.attributes = static_cast<attr_bits>(data.dwFileAttributes);
    entry.written = from_filetime(data.ftLastWriteTime);
    entry.size = join64(data.nFileSizeHigh, data.nFileSizeLow);
    entry.name = from_wide(data.cFileName, wcsnlen(data.cFileName, MAX_PATH));
}

// Codes the changes that act on one file refuse with: a link in the file's
// place, and a file or folder that is no longer the one that was compared.
constexpr DWORD LINK_REFUSAL = 681;      // ERROR_STOPPED_ON_SYMLINK
constexpr DWORD CHANGED_REFUSAL = 1006;  // ERROR_FILE_INVALID

// Identity, size, times, names and attributes of an open file.
bool read_state(HANDLE file, file_state& state) {
    BY_HANDLE_FILE_INFORMATION info;
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandle(file, &info)) return false;
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) return false;
    state.id = file_id{info.dwVolumeSerialNumber, join64(info.nFileIndexHigh, info.nFileIndexLow)};
    state.size = join64(info.nFileSizeHigh, info.nFileSizeLow);
    state.written = from_filetime(info.ftLastWriteTime);
    state.changed = static_cast<file_time>(basic.ChangeTime.QuadPart);
    state.links = info.nNumberOfLinks;
    state.read_only = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    state.regular = (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    return true;
}

// The identity of the file a path leads to (links followed), or false with
// the system's code in `error`.
bool identity_of(std::u16string_view path, file_id& id, uint32_t& error) {
    wide_text name(path);
    if (!name.ok(error)) return false;
    // No access is needed to read the identity; backup semantics let a
    // folder be opened too. Links and junctions are followed, so the
    // identity is that of the file actually reached.
    HANDLE file = CreateFileW(name.get(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return failed(error, false);
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(file, &info) != 0 || failed(error, false);
    CloseHandle(file);
    if (!known) return false;
    id.device = info.dwVolumeSerialNumber;
    id.index = join64(info.nFileIndexHigh, info.nFileIndexLow);
    return true;
}

// The folder part of a path (up to its last separator).
std::u16string_view folder_part(std::u16string_view path) {
    const size_t last = path.find_last_of(u"\\/");
    return last == std::u16string_view::npos ? std::u16string_view(u".") : path.substr(0, last);
}

DWORD std_handle_number(std_stream which) { return which == std_stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE; }

// --- local time: the zone-aware converter is looked up once at run time ---

using tz_converter = BOOL(WINAPI*)(const TIME_ZONE_INFORMATION*, const SYSTEMTIME*, SYSTEMTIME*);

// 0 not yet determined, 1 the converter is available, -1 it is not.
std::atomic<int> converter_state{0};
std::atomic<tz_converter> converter{nullptr};

void look_up_converter() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);  // 276 bytes
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    BOOL got = GetVersionExW(&version);
#pragma GCC diagnostic pop
    if (!got) {
        converter_state = -1;
        return;
    }
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) return;  // asked again next time
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC address = kernel ? GetProcAddress(kernel, "SystemTimeToTzSpecificLocalTime") : nullptr;
    if (address) {
        // Through a generic function pointer type, which GCC accepts as the
        // neutral intermediate for casts between function types.
        converter = reinterpret_cast<tz_converter>(reinterpret_cast<void (*)()>(address));
        converter_state = 1;
    } else {
        converter_state = -1;
    }
}

// --- folder picker ---

std::atomic<bool> picker_new_style{false};
std::atomic<bool> com_initialised{false};

constexpr UINT STYLE_NEW = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_VALIDATE | BIF_NEWDIALOGSTYLE;  // 0x71
constexpr UINT STYLE_CLASSIC = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;                               // 0x05

struct picker_context {
    const wchar_t* initial;
    wchar_t* buffer;  // PICKER_UNITS units
};

int CALLBACK picker_notification(HWND window, UINT message, LPARAM item, LPARAM parameter) {
    auto* context = reinterpret_cast<picker_context*>(parameter);
    switch (message) {
    case BFFM_INITIALIZED:
        if (context->initial[0] != L'\0')
            SendMessageW(window, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(context->initial));
        break;
    case BFFM_SELCHANGED:
        if (SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(item), context->buffer)) {
            SendMessageW(window, BFFM_ENABLEOK, 1, 1);
            SendMessageW(window, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(context->buffer));
        } else {
            SendMessageW(window, BFFM_ENABLEOK, 1, 0);
            SendMessageW(window, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(L""));
        }
        break;
    case BFFM_VALIDATEFAILEDW:
        // A name typed into the edit box that does not exist: keep the dialog open.
        SendMessageW(window, BFFM_ENABLEOK, 1, 0);
        return 1;
    default: break;
    }
    return 0;
}

class win32_os final : public os {
public:
    // --- directory search ---

    search_handle find_first(std::u16string_view pattern, find_entry& entry, uint32_t& error) override {
        wide_text name(pattern);
        if (!name.ok(error)) return INVALID_HANDLE;
        WIN32_FIND_DATAW data;
        HANDLE search = FindFirstFileW(name.get(), &data);
        if (search == INVALID_HANDLE_VALUE) return failed(error, INVALID_HANDLE);
        fill_entry(data, entry);
        return wrap<search_handle>(search);
    }

    bool find_next(search_handle search, find_entry& entry, uint32_t& error) override {
        WIN32_FIND_DATAW data;
        if (!FindNextFileW(native(search), &data)) return failed(error, false);
        fill_entry(data, entry);
        return true;
    }

    bool find_close(search_handle search, uint32_t& error) override {
        return FindClose(native(search)) != 0 || failed(error, false);
    }

    bool entry_of(std::u16string_view path, find_entry& entry, uint32_t& error) override {
        const search_handle search = find_first(path, entry, error);
        if (!search.valid()) return false;
        uint32_t ignored = 0;
        find_close(search, ignored);
        return true;
    }

    // --- attributes and names ---

    attr_bits get_attributes(std::u16string_view path, uint32_t& error) override {
        wide_text name(path);
        if (!name.ok(error)) return INVALID_ATTRIBUTES;
        const attr_bits attributes = static_cast<attr_bits>(GetFileAttributesW(name.get()));
        return attributes == INVALID_ATTRIBUTES ? failed(error, attributes) : attributes;
    }

    bool full_path(std::u16string_view name, std::u16string& out, bool* has_file_part, uint32_t& error) override {
        wide_text text(name);
        if (!text.ok(error)) return false;
        std::vector<wchar_t> buffer(FULL_PATH_UNITS);
        wchar_t* file_part = nullptr;
        DWORD length = GetFullPathNameW(text.get(), FULL_PATH_UNITS, buffer.data(), &file_part);
        // 0 is a failure; a result at least the buffer size is the size the
        // system would need, and the buffer does not hold the path.
        if (length == 0) return failed(error, false);
        if (length >= FULL_PATH_UNITS) {
            error = ERROR_FILENAME_EXCED_RANGE;
            return false;
        }
        out = from_wide(buffer.data(), length);
        if (has_file_part) *has_file_part = file_part != nullptr;
        return true;
    }

    bool file_identity(std::u16string_view path, file_id& id) override {
        uint32_t ignored = 0;
        return identity_of(path, id, ignored);
    }

    bool path_state(std::u16string_view path, file_state& state, uint32_t& error) override {
        wide_text name(path);
        if (!name.ok(error)) return false;
        HANDLE file =
            CreateFileW(name.get(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) return failed(error, false);
        const bool known = read_state(file, state) || failed(error, false);
        CloseHandle(file);
        return known;
    }

    // --- files ---

    file_handle open_read(std::u16string_view path, read_mode mode, uint32_t& error) override {
        wide_text name(path);
        if (!name.ok(error)) return file_handle{};
        if (mode == read_mode::compare) {
            // Unbuffered: the caller's buffers are page-aligned and its
            // requests are multiples of 8192 bytes, as such reads require.
            return wrap(
                CreateFileW(name.get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr),
                error);
        }
        return wrap(CreateFileW(name.get(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                    error);
    }

    bool read(file_handle file, void* buffer, uint32_t count, uint32_t& got, uint32_t& error) override {
        DWORD done = 0;
        const BOOL ok = ReadFile(native(file), buffer, count, &done, nullptr);
        got = done;
        return ok != 0 || failed(error, false);
    }

    // A comparison's files are opened unbuffered (open_read).
    bool reads_around_cache(file_handle) override { return true; }

    bool size_of(file_handle file, uint64_t& size, uint32_t& error) override {
        LARGE_INTEGER value;
        if (!GetFileSizeEx(native(file), &value)) return failed(error, false);
        size = static_cast<uint64_t>(value.QuadPart);
        return true;
    }

    bool state_of(file_handle file, file_state& state, uint32_t& error) override {
        return read_state(native(file), state) || failed(error, false);
    }

    file_handle open_write(std::u16string_view path, write_mode mode, uint32_t& error) override {
        wide_text name(path);
        if (!name.ok(error)) return file_handle{};
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        if (mode == write_mode::truncate) {
            return wrap(
                CreateFileW(name.get(), GENERIC_WRITE, share, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
                error);
        }
        // Append-only access: every write goes to the current end of the
        // file, also when another process appends to the same log meanwhile.
        HANDLE h =
            CreateFileW(name.get(), FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return failed(error, file_handle{});
        LARGE_INTEGER zero{};
        SetFilePointerEx(h, zero, nullptr, FILE_END);
        return wrap(h);
    }

    bool write(file_handle file, const void* data, size_t count, uint32_t& error) override {
        const auto* bytes = static_cast<const char*>(data);
        while (count > 0) {
            DWORD chunk = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
            DWORD written = 0;
            if (!WriteFile(native(file), bytes, chunk, &written, nullptr)) return failed(error, false);
            if (written == 0) {  // no progress: do not spin
                error = ERROR_WRITE_FAULT;
                return false;
            }
            bytes += written;
            count -= written;
        }
        return true;
    }

    bool close(file_handle file, uint32_t& error) override {
        return CloseHandle(native(file)) != 0 || failed(error, false);
    }

    file_handle open_for_change(std::u16string_view path, change_kind kind, uint32_t& error) override {
        wide_text name(path);
        if (!name.ok(error)) return INVALID_HANDLE;
        // Attribute and delete access only for a deletion: a handle without
        // data access is not kept from opening by another program's handle,
        // whatever that one shares. Emptying needs write access in the same
        // open, so that the file emptied is the file checked; a read-only
        // file refuses that, and is opened as for a deletion (its attribute
        // is cleared through this handle before it is emptied).
        // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, which is then
        // refused rather than followed.
        constexpr DWORD ACCESS = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
        constexpr DWORD SHARING = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        HANDLE file = INVALID_HANDLE_VALUE;
        if (kind == change_kind::empty) {
            file = CreateFileW(name.get(), ACCESS | FILE_WRITE_DATA, SHARING, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
            if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_ACCESS_DENIED)
                return failed(error, INVALID_HANDLE);
        }
        if (file == INVALID_HANDLE_VALUE)
            file =
                CreateFileW(name.get(), ACCESS, SHARING, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE) return failed(error, INVALID_HANDLE);
        FILE_BASIC_INFO basic;
        bool usable = GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) || failed(error, false);
        if (usable && (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            error = LINK_REFUSAL;
            usable = false;
        }
        if (usable) return wrap(file);
        CloseHandle(file);
        return INVALID_HANDLE;
    }

    bool set_read_only(file_handle file, bool read_only, uint32_t& error) override {
        FILE_BASIC_INFO basic;
        if (!GetFileInformationByHandleEx(native(file), FileBasicInfo, &basic, sizeof basic))
            return failed(error, false);
        DWORD attributes = basic.FileAttributes;
        attributes = read_only ? (attributes | FILE_ATTRIBUTE_READONLY) : (attributes & ~FILE_ATTRIBUTE_READONLY);
        if (attributes == basic.FileAttributes) return true;
        FILE_BASIC_INFO change{};  // times of 0 are left as they are
        change.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
        return SetFileInformationByHandle(native(file), FileBasicInfo, &change, sizeof change) != 0 ||
               failed(error, false);
    }

    bool truncate_opened(file_handle file, uint32_t& error) override {
        // The handle's own write access where it has it (opened for emptying).
        FILE_END_OF_FILE_INFO end{};
        if (SetFileInformationByHandle(native(file), FileEndOfFileInfo, &end, sizeof end)) return true;
        if (GetLastError() != ERROR_ACCESS_DENIED) return failed(error, false);
        // A file that was read-only at the open: a second handle for writing.
        // How a reopen is resolved is the system's affair (one may go by the
        // name again), so it must prove to be the same file.
        HANDLE writer =
            ReOpenFile(native(file), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
        if (writer == INVALID_HANDLE_VALUE) return failed(error, false);
        file_state held, reopened;
        bool ok = (read_state(native(file), held) && read_state(writer, reopened)) || failed(error, false);
        if (ok && held.id != reopened.id) {
            error = CHANGED_REFUSAL;
            ok = false;
        }
        if (ok) ok = SetFileInformationByHandle(writer, FileEndOfFileInfo, &end, sizeof end) || failed(error, false);
        if (!ok) {
            CloseHandle(writer);
            return false;
        }
        return CloseHandle(writer) != 0 || failed(error, false);
    }

    bool delete_opened(file_handle file, std::u16string_view path, const file_id& folder, uint32_t& error) override {
        file_id holder;
        if (!identity_of(folder_part(path), holder, error)) return false;
        if (holder != folder) {
            error = CHANGED_REFUSAL;
            return false;
        }
        // The file goes when its last handle is closed: the caller's close.
        FILE_DISPOSITION_INFO disposition{TRUE};
        return SetFileInformationByHandle(native(file), FileDispositionInfo, &disposition, sizeof disposition) != 0 ||
               failed(error, false);
    }

    lock_handle open_lock(std::u16string_view path, uint32_t& error) override {
        wide_text name(path);
        if (!name.ok(error)) return INVALID_HANDLE;
        HANDLE h = CreateFileW(name.get(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return failed(error, INVALID_HANDLE);
        return wrap<lock_handle>(h);
    }

    bool release_lock(lock_handle lock) override { return CloseHandle(native(lock)) != 0; }

    storage_kind storage_of(std::u16string_view path) override {
        // The volume that holds the path: a network drive or share, or a
        // volume asked whether it incurs a seek penalty. A volume that does
        // not say is neither.
        wide_text name(path);
        if (!name.whole()) return storage_kind::other;
        std::vector<wchar_t> volume(FULL_PATH_UNITS);
        if (!GetVolumePathNameW(name.get(), volume.data(), static_cast<DWORD>(volume.size())))
            return storage_kind::other;
        if (GetDriveTypeW(volume.data()) == DRIVE_REMOTE) return storage_kind::remote;
        std::wstring device(volume.data());
        if (!device.empty() && device.back() == L'\\') device.pop_back();
        if (device.size() == 2 && device[1] == L':')
            device = L"\\\\.\\" + device;
        else if (device.rfind(L"\\\\?\\", 0) != 0)
            return storage_kind::other;
        HANDLE h =
            CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return storage_kind::other;
        STORAGE_PROPERTY_QUERY query{};
        query.PropertyId = StorageDeviceSeekPenaltyProperty;
        query.QueryType = PropertyStandardQuery;
        DEVICE_SEEK_PENALTY_DESCRIPTOR seek{};
        DWORD got = 0;
        const BOOL ok =
            DeviceIoControl(h, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &seek, sizeof seek, &got, nullptr);
        CloseHandle(h);
        return ok && got >= sizeof seek && seek.IncursSeekPenalty ? storage_kind::rotational : storage_kind::other;
    }

    bool can_write(std::u16string_view path) override {
        // The access test for writing: the file exists, is a file, and is
        // not marked read-only.
        uint32_t ignored = 0;
        const attr_bits attributes = get_attributes(path, ignored);
        return attributes != INVALID_ATTRIBUTES && !has(attributes, attr_bits::DIRECTORY | attr_bits::READONLY);
    }

    // --- process ---

    bool current_dir(std::u16string& out) override {
        std::vector<wchar_t> buffer(CURRENT_DIR_UNITS);
        DWORD length = GetCurrentDirectoryW(CURRENT_DIR_UNITS, buffer.data());
        // 0 is a failure; a result at least the buffer size is the size needed.
        if (length == 0 || length >= CURRENT_DIR_UNITS) return false;
        out = from_wide(buffer.data(), length);
        return true;
    }

    bool set_current_dir(std::u16string_view path) override {
        wide_text name(path);
        return name.whole() && SetCurrentDirectoryW(name.get()) != 0;
    }

    bool executable_path(std::u16string& out, uint32_t& error) override {
        std::vector<wchar_t> buffer(MODULE_PATH_UNITS);
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), MODULE_PATH_UNITS);
        if (length == 0) return failed(error, false);
        // A full buffer means the name was cut: no settings path is built from it.
        if (length >= MODULE_PATH_UNITS) {
            error = ERROR_INSUFFICIENT_BUFFER;
            return false;
        }
        out = from_wide(buffer.data(), length);
        return true;
    }

    // --- profile file ---

    std::u16string profile_read(std::u16string_view section, std::u16string_view key,
                                std::u16string_view file) override {
        wide_text s(section), k(key), f(file);
        if (!s.whole() || !k.whole() || !f.whole()) return {};
        std::vector<wchar_t> raw(PROFILE_RAW_UNITS);
        DWORD length = GetPrivateProfileStringW(s.get(), k.get(), L"", raw.data(), PROFILE_RAW_UNITS, f.get());
        return from_wide(raw.data(), length);
    }

    bool profile_write(std::u16string_view section, std::u16string_view key, std::u16string_view value,
                       std::u16string_view file) override {
        wide_text s(section), k(key), v(value), f(file);
        if (!s.whole() || !k.whole() || !v.whole() || !f.whole()) return false;
        return WritePrivateProfileStringW(s.get(), k.get(), v.get(), f.get()) != 0;
    }

    // --- memory ---

    void* reserve_pages(size_t bytes) override {
        // With no preferred address, committing also reserves the range.
        return VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }

    bool release_pages(void* block, size_t) override {
        // MEM_RELEASE gives the address range back as well as the pages;
        // decommitting alone would leave the range reserved for good.
        return VirtualFree(block, 0, MEM_RELEASE) != 0;
    }

    // --- texts and time ---

    std::u16string error_text(uint32_t code) override {
        wchar_t* text = nullptr;
        DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
        DWORD length = FormatMessageW(flags, nullptr, code, 0x400, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        if (length == 0 || text == nullptr) return {};
        std::u16string result = from_wide(text, length);
        LocalFree(text);
        return result;
    }

    std::u16string errno_text(int number) override {
        const wchar_t* text = _wcserror(number);
        return text ? from_wide(text) : std::u16string();
    }

    bool local_time(file_time time, system_time& out) override {
        if (converter_state == 0) look_up_converter();
        FILETIME file;
        file.dwLowDateTime = static_cast<DWORD>(time);
        file.dwHighDateTime = static_cast<DWORD>(time >> 32);
        SYSTEMTIME local;
        tz_converter convert = converter_state == 1 ? converter.load() : nullptr;
        if (convert) {
            // The zone rules in force at the timestamp's date.
            SYSTEMTIME utc;
            if (!FileTimeToSystemTime(&file, &utc)) return false;
            if (!convert(nullptr, &utc, &local)) return false;
        } else {
            // The current offset from UTC.
            FILETIME shifted;
            if (!FileTimeToLocalFileTime(&file, &shifted)) return false;
            if (!FileTimeToSystemTime(&shifted, &local)) return false;
        }
        out.year = local.wYear;
        out.month = local.wMonth;
        out.weekday = local.wDayOfWeek;
        out.day = local.wDay;
        out.hour = local.wHour;
        out.minute = local.wMinute;
        out.second = local.wSecond;
        out.millisecond = local.wMilliseconds;
        return true;
    }

    void sleep_ms(uint32_t milliseconds) override { Sleep(milliseconds); }

    uint64_t tick_ms() override { return GetTickCount64(); }

    // --- console ---

    bool is_console(std_stream which) override {
        HANDLE h = GetStdHandle(std_handle_number(which));
        if (h == INVALID_HANDLE_VALUE || h == nullptr) return false;
        return GetFileType(h) == FILE_TYPE_CHAR;
    }

    bool console_write(std_stream which, std::u16string_view text) override {
        HANDLE h = GetStdHandle(std_handle_number(which));
        if (h == INVALID_HANDLE_VALUE || h == nullptr) return false;
        if (text.empty()) return true;
        DWORD written = 0;
        return WriteConsoleW(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0;
    }

    file_handle std_handle(std_stream which) override { return wrap(GetStdHandle(std_handle_number(which))); }

    int console_columns(std_stream which) override {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (!GetConsoleScreenBufferInfo(GetStdHandle(std_handle_number(which)), &info)) return 0;
        return info.srWindow.Right - info.srWindow.Left + 1;
    }

    void set_console_title(std::u16string_view title) override {
        std::u16string copy(title.substr(0, title.find(u'\0')));
        SetConsoleTitleW(reinterpret_cast<const wchar_t*>(copy.c_str()));
    }

    // --- folder picker ---

    std::optional<std::u16string> pick_folder(std::u16string_view title, std::u16string_view initial) override {
        // The browser may change the current folder, and the result logs
        // are relative to it.
        std::u16string saved;
        bool have_saved = current_dir(saved);

        bool new_style = picker_new_style;
        if (new_style && !com_initialised.exchange(true)) CoInitialize(nullptr);

        std::u16string initial_text(initial.substr(0, initial.find(u'\0')));
        std::u16string title_text(title.empty() ? std::u16string_view(u"select folder")
                                                : title.substr(0, title.find(u'\0')));
        std::vector<wchar_t> buffer(PICKER_UNITS, L'\0');
        picker_context context{reinterpret_cast<const wchar_t*>(initial_text.c_str()), buffer.data()};

        BROWSEINFOW info{};
        // The active window of this thread owns the browser: the dialog
        // program's window; none in the console program.
        info.hwndOwner = GetActiveWindow();
        info.pidlRoot = nullptr;  // the whole namespace
        info.pszDisplayName = buffer.data();
        info.lpszTitle = reinterpret_cast<const wchar_t*>(title_text.c_str());
        info.ulFlags = new_style ? STYLE_NEW : STYLE_CLASSIC;
        info.lpfn = picker_notification;
        info.lParam = reinterpret_cast<LPARAM>(&context);

        // Drives without media raise no system message box while browsing.
        UINT previous_mode = SetErrorMode(SEM_FAILCRITICALERRORS);
        PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
        SetErrorMode(previous_mode);
        if (have_saved) set_current_dir(saved);

        if (item == nullptr) return std::nullopt;
        bool is_path = SHGetPathFromIDListW(item, buffer.data()) != 0;
        CoTaskMemFree(item);
        if (!is_path) return std::u16string();
        return from_wide(buffer.data(), wcsnlen(buffer.data(), PICKER_UNITS));
    }
};

}  // namespace

os& native_os() {
    static win32_os layer;
    return layer;
}

void set_picker_new_style(bool new_style) { picker_new_style = new_style; }

int errno_from_os_error(uint32_t code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_NO_MORE_FILES: return 2;       // ENOENT
    case ERROR_ACCESS_DENIED: return 13;      // EACCES
    case ERROR_NOT_ENOUGH_MEMORY: return 12;  // ENOMEM
    default: return 22;                       // EINVAL
    }
}

// Exactly the codes that map to ENOENT, so that "not found" means the same
// whether a caller asks here or looks at errno.
bool is_not_found(uint32_t code) { return errno_from_os_error(code) == 2; }

bool is_access_denied(uint32_t code) { return code == ERROR_ACCESS_DENIED; }
bool is_link_refusal(uint32_t code) { return code == LINK_REFUSAL; }
bool is_changed_refusal(uint32_t code) { return code == CHANGED_REFUSAL; }

// The C library's own table for its file functions (a "w" open): wider than
// the primitives' mapping above; a sharing or lock violation is EACCES.
int errno_from_open_failure(uint32_t code) {
    struct row {
        uint32_t code;
        int number;
    };
    static constexpr row table[] = {
        {1, 22},   {2, 2},    {3, 2},    {4, 24},   {5, 13},   {6, 9},   {7, 12},   {8, 12},    {9, 12},
        {10, 7},   {11, 8},   {12, 22},  {13, 22},  {15, 2},   {16, 13}, {17, 18},  {18, 2},    {33, 13},
        {53, 2},   {65, 13},  {67, 2},   {80, 17},  {82, 13},  {83, 13}, {87, 22},  {89, 11},   {108, 13},
        {109, 32}, {112, 28}, {114, 9},  {128, 10}, {129, 10}, {130, 9}, {131, 22}, {132, 13},  {145, 41},
        {158, 13}, {161, 2},  {164, 11}, {167, 13}, {183, 17}, {206, 2}, {215, 11}, {1816, 12},
    };
    for (const row& r : table)
        if (r.code == code) return r.number;
    if (code >= 19 && code <= 36) return 13;   // write protection, sharing and lock violations
    if (code >= 188 && code <= 202) return 8;  // not an executable image
    return 22;
}

bool expands_command_line_wildcards() { return true; }
bool entry_size_can_lag() { return true; }

namespace {

volatile LONG interrupted = 0;

// Held by the engine's thread while a removal and its record are made; the
// console event handler runs on a thread of its own and waits for it.
SRWLOCK interrupt_lock = SRWLOCK_INIT;

BOOL WINAPI on_console_event(DWORD) {
    // The second event is left to the default handler, which ends the
    // process: not while a removal waits for its record.
    if (InterlockedExchange(&interrupted, 1) != 0) {
        AcquireSRWLockShared(&interrupt_lock);
        ReleaseSRWLockShared(&interrupt_lock);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

void hold_interrupts() { AcquireSRWLockExclusive(&interrupt_lock); }
void release_interrupts() { ReleaseSRWLockExclusive(&interrupt_lock); }

void watch_interrupts() {
    static LONG installed = 0;
    if (InterlockedExchange(&installed, 1) == 0) SetConsoleCtrlHandler(on_console_event, TRUE);
}

bool interrupt_requested() { return interrupted != 0; }

void open_closed_standard_streams() {
    for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        HANDLE h = GetStdHandle(which);
        if (h != nullptr && h != INVALID_HANDLE_VALUE) continue;
        HANDLE null_device = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
        if (null_device != INVALID_HANDLE_VALUE) SetStdHandle(which, null_device);
    }
}

std::vector<std::u16string> command_line(int argc, char** argv) {
    std::vector<std::u16string> result;
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words) {
        for (int i = 0; i < count; ++i) result.push_back(from_wide(words[i]));
        LocalFree(words);
        return result;
    }
    // The wide command line could not be split: fall back to the narrow
    // arguments in the process's code page.
    for (int i = 0; i < argc; ++i) {
        int units = MultiByteToWideChar(CP_ACP, 0, argv[i], -1, nullptr, 0);
        std::vector<wchar_t> text(units > 0 ? units : 1, L'\0');
        if (units > 0) MultiByteToWideChar(CP_ACP, 0, argv[i], -1, text.data(), units);
        result.push_back(from_wide(text.data()));
    }
    return result;
}

path_style native_path_style() { return path_style::windows; }

size_t page_size() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

}  // namespace zub::platform
