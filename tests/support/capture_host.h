// A host for in-process engine tests: keeps everything a run writes for the
// user, and can pose as the dialog build with a scripted stop request.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/host.h"

namespace zub::test {

class capture_host : public host {
public:
    explicit capture_host(build_kind k = build_kind::console) : kind_(k) {}

    host_rules rules() const override { return rules_of(kind_); }
    build_kind kind() const { return kind_; }
    int write_out(std::u16string_view text) override {
        out.append(text);
        return static_cast<int>(text.size());
    }
    int write_err(std::u16string_view text) override {
        err.append(text);
        return static_cast<int>(text.size());
    }
    int write_verbose(std::u16string_view text) override {
        verbose.append(text);
        out.append(text);
        return static_cast<int>(text.size());
    }
    void set_title(std::u16string_view t) override { titles.emplace_back(t); }
    bool stop_requested() override {
        ++stop_polls;
        return stop_when ? stop_when(stop_polls) : false;
    }
    void show_status(std::u16string_view t) override { statuses.emplace_back(t); }
    void show_progress(std::u16string_view t, int v) override { progress.emplace_back(std::u16string(t), v); }
    void show_counts(uint32_t s, uint32_t d, int64_t b) override { counts.push_back({s, d, b}); }
    std::optional<std::pair<std::u16string, std::u16string>> resolve_folders(run_state&) override {
        ++resolve_calls;
        return folders;
    }

    struct count_call {
        uint32_t same, different;
        int64_t bytes;
    };

    std::u16string out, err, verbose;
    std::vector<std::u16string> titles, statuses;
    std::vector<std::pair<std::u16string, int>> progress;
    std::vector<count_call> counts;
    // Dialog build: answers true when this returns true for the poll number (1, 2, ...).
    std::function<bool(int)> stop_when;
    int stop_polls = 0;
    std::optional<std::pair<std::u16string, std::u16string>> folders;
    int resolve_calls = 0;

private:
    build_kind kind_;
};

}  // namespace zub::test
