// Opening and closing the result files of a run, and the byte-order marks.
// Every name is relative, so the files land in the current folder. A file
// that cannot be created leaves its stream closed; writes to a closed stream
// do nothing, so the run goes on without that file, but removes nothing
// more and ends with 1 (records_intact).
#include "engine/result_logs.h"

#include "foundation/settings.h"

namespace zub {

namespace {

using platform::write_mode;

// A file of length 0 receives the mark U+FEFF in its encoding: the bytes
// FF FE in UTF-16LE, EF BB BF in UTF-8.
void mark_if_empty(text_stream& stream) {
    if (!stream.is_open()) return;
    if (stream.length() != 0) return;
    const std::string_view mark = byte_order_mark(stream.encoding());
    stream.write_bytes(mark.data(), mark.size());
}

// zubmove.sh: UTF-8 with LF whatever the output encoding, since no shell
// reads anything else, and no byte-order mark. A new or emptied script
// starts with its header; an appended one already has it.
void open_shell_script(text_stream& script, write_mode mode) {
    if (!script.open(log_file_name(log_id::move_sh), mode)) return;
    script.set_encoding(text_encoding::utf8);
    if (script.length() == 0) print_to(script, u"#!/bin/sh\nset -e\n");
}

bool bom_requested() {
    std::u16string value = read_setting(u"options", u"BOM");
    return !value.empty() && value[0] == u'1';
}

}  // namespace

void open_run_log(run_state& run) { run.logs[log_id::aer].open(log_file_name(log_id::aer), write_mode::append); }

namespace {

// The identities of the open result files, taken once they are all open.
void note_result_files(run_state& run) {
    run.result_files.clear();
    for (text_stream& stream : run.logs.streams) {
        platform::file_state state;
        uint32_t ignored = 0;
        if (stream.is_open() && platform::current().state_of(stream.file(), state, ignored))
            run.result_files.push_back(state.id);
    }
}

constexpr event_wording RECORDS_FAILED{.err = u"%s cannot be written: no more files are removed\n",
                                       .aer = u"%s cannot be written: no more files are removed\n"};
constexpr event_wording WRITE_FAILED{.err = u"%s cannot be written\n", .aer = u"%s cannot be written\n"};

}  // namespace

void open_logs(run_state& run) {
    const run_options& o = run.options;
    const write_mode mode = o.append_logs ? write_mode::append : write_mode::truncate;
    const bool posix = platform::native_path_style() == platform::path_style::posix;
    for (const result_file& file : RESULT_FILES) {
        if (file.opened_first || (file.option && !(o.*file.option)) || (file.shell_script && !posix)) continue;
        text_stream& stream = run.logs[file.id];
        if (file.shell_script)
            open_shell_script(stream, mode);
        else
            stream.open(file.name, mode);
    }
    note_result_files(run);

    if (!bom_requested()) return;
    // zubaer.log holds this run's argument lines by now, so it gets a mark
    // only if it could not take them.
    for (const result_file& file : RESULT_FILES)
        if (file.marked) mark_if_empty(run.logs[file.id]);
}

void close_logs(run_state& run) {
    for (const result_file& file : RESULT_FILES)
        if (!file.closed_last) run.logs[file.id].close();
}

bool records_intact(run_state& run) {
    if (run.removals_halted) return false;
    std::u16string_view failed;
    for (const result_file& file : RESULT_FILES) {
        text_stream& stream = run.logs[file.id];
        stream.flush();
        if (failed.empty() && stream.failed()) failed = file.name;
    }
    if (failed.empty() && run.output_failed) failed = u"standard output";
    if (failed.empty()) return true;
    run.removals_halted = true;
    report_event(run, run_removes(run) ? RECORDS_FAILED : WRITE_FAILED, {failed});
    return false;
}

bool is_result_file(const run_state& run, const platform::file_id& id) {
    for (const platform::file_id& file : run.result_files)
        if (file == id) return true;
    return false;
}

void close_run_log(run_state& run) {
    // zublog.txt, then zubaer.log.
    for (size_t i = LOG_COUNT; i-- > 0;)
        if (RESULT_FILES[i].closed_last) run.logs[RESULT_FILES[i].id].close();
}

std::u16string shell_quote(std::u16string_view path) {
    std::u16string quoted(1, u'\'');
    for (char16_t c : path) {
        if (c == u'\'')
            quoted += u"'\\''";
        else
            quoted.push_back(c);
    }
    quoted.push_back(u'\'');
    return quoted;
}

void write_move(run_state& run, std::u16string_view from, std::u16string_view to) {
    log_line(run.logs[log_id::move], u"move \"%s\" \"%s\"\n", batch_quote(from), batch_quote(to));
    log_line(run.logs[log_id::move_sh], u"mv -n -- %s %s\n", shell_quote(from), shell_quote(to));
}

void write_rename(run_state& run, std::u16string_view path, std::u16string_view suffix) {
    const std::u16string quoted = batch_quote(path);
    log_line(run.logs[log_id::move], u"move \"%s\" \"%s%s\"\n", quoted, quoted, batch_quote(suffix));
    log_line(run.logs[log_id::move_sh], u"mv -n -- %s %s\n", shell_quote(path),
             shell_quote(std::u16string(path).append(suffix)));
}

std::u16string batch_quote(std::u16string_view path) {
    std::u16string quoted;
    quoted.reserve(path.size());
    for (char16_t c : path) {
        quoted.push_back(c);
        if (c == u'%') quoted.push_back(u'%');
    }
    return quoted;
}

}  // namespace zub
