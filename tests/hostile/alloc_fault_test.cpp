// Allocation failures swept over every allocation of a request: the answer is the "oom"
// envelope, the normal answer, or the answer the plug-in gives when a file cannot be read;
// never a crash, a leak, a document missing a piece or another exit status.
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/json_check.h"
#include "tests/hostile/hostile.h"

namespace {

struct reference {
    std::string name;
    run_output answer;
};

class AllocationSweep : public HostileRun {
protected:
    void SetUp() override
    {
        HostileRun::SetUp();
        write_text(accounts_file,
                   R"([{"email":"a@x.org","refresh_token":"t"},{"email":"b@x.org"},)"
                   R"({"email":"c@x.org","refresh_token":"u"}])");
        write_text(selected_file, "b@x.org\n");
        tool_answers("a@x.org", read_text(std::string(FIXTURE_DIR) +
                                          "/quota/fixtures/full_answer.json"));
        tool_answers("b@x.org", canned_answer(0.5, 0.25));
        tool_answers("c@x.org", read_text(std::string(FIXTURE_DIR) +
                                          "/quota/fixtures/exhausted_pool.json"));
    }

    // The answers a request may lawfully give when memory runs out: its normal answer, the
    // answers for an unreadable accounts file, selected file or both (a failed whole-file read
    // reads as a missing file), and the "oom" envelope.
    std::vector<reference> references(const char* query)
    {
        std::vector<reference> all;
        all.push_back({"normal", request(query)});
        all.push_back({"oom", {envelope_text("500 Internal Server Error", "oom",
                                             "out of memory"), "", 1}});
        std::string accounts = read_text(accounts_file);
        std::string selected = read_text(selected_file);
        for (int missing = 1; missing <= 3; ++missing) {
            if (missing & 1)
                std::remove(accounts_file.c_str());
            if (missing & 2)
                std::remove(selected_file.c_str());
            all.push_back({"without file set " + std::to_string(missing), request(query)});
            write_text(accounts_file, accounts);
            write_text(selected_file, selected);
        }
        for (const reference& r : all)
            EXPECT_TRUE(r.answer.exit_code == 0 || r.answer.exit_code == 1) << r.name;
        return all;
    }

    // Whether the answer is one of the references, exactly, or a whole, valid quota document
    // (a tool's output that lost a piece reads as a cut answer, which changes that account's
    // object and nothing else).
    static bool is_lawful(const run_output& got, const std::vector<reference>& refs)
    {
        std::string_view head = json_header_block;
        std::string_view document_head =
            "{\"ok\":true,\"plugin\":\"plugin_brelvane\",\"version\":\"" BRELVANE_VERSION "\",";
        if (got.exit_code == 0 && got.out.compare(0, head.size(), head) == 0) {
            std::string_view body = std::string_view(got.out).substr(head.size());
            if (body.starts_with(document_head) && is_strict_json(body))
                return true;
        }
        for (const reference& r : refs)
            if (got.exit_code == r.answer.exit_code && got.out == r.answer.out)
                return true;
        return false;
    }

    struct sweep_counts {
        int runs = 0;
        int oom = 0;
    };

    // Runs the request with allocation n failing, for n = 1, 2, ... until the request makes
    // fewer than n allocations.
    sweep_counts sweep(const char* query, const char* mode)
    {
        std::vector<reference> refs = references(query);
        platform_setenv("QUERY_STRING", query);
        sweep_counts counts;
        for (int n = 1; n < 2000; ++n) {
            std::string command =
                shell_command({ALLOC_FAULT_EXE, std::to_string(n), mode}, true);
            run_output got = run_shell(command);
            SCOPED_TRACE(std::string(query) + " allocation " + std::to_string(n) + " " + mode);
            EXPECT_EQ(got.signal, 0) << got.err;
            EXPECT_FALSE(got.timed_out);
            EXPECT_TRUE(is_lawful(got, refs)) << "exit " << got.exit_code << "\n" << got.out;
            // Whatever the plug-in wrote as a whole document is still valid JSON.
            if (got.exit_code == 0 && got.out == refs[0].answer.out) {
                EXPECT_TRUE(is_strict_json(got.out.substr(json_header_block.size())));
            }
            bool fired = got.err.find("fired\n") != std::string::npos &&
                         got.err.find("unfired\n") == std::string::npos;
            if (!fired) {
                EXPECT_EQ(got.out, refs[0].answer.out) << "nothing failed, so nothing may differ";
                break;
            }
            ++counts.runs;
            counts.oom += got.out == refs[1].answer.out;
            if (HasFailure())
                break;
        }
        std::printf("sweep %s (%s): %d allocations failed in turn, %d oom envelopes\n", query,
                    mode, counts.runs, counts.oom);
        return counts;
    }
};

}  // namespace

TEST_F(AllocationSweep, StatusDocument)
{
    for (const char* mode : {"once", "onward"}) {
        sweep_counts c = sweep("action=status", mode);
        EXPECT_GE(c.runs, 3) << mode;  // two file reads and the document at the least
        EXPECT_GE(c.oom, 1) << mode;   // the document's own buffer
    }
}

TEST_F(AllocationSweep, AllAccountsQuotaDocument)
{
    // The record block and the document are among the allocations; either failing is the
    // "oom" envelope, which still goes out when every later allocation fails too.
    sweep_counts once = sweep("action=quota", "once");
    EXPECT_GE(once.runs, 8);
    EXPECT_GE(once.oom, 2);
    sweep_counts onward = sweep("action=quota", "onward");
    EXPECT_GE(onward.runs, 3);
    EXPECT_GE(onward.oom, 1);
}

TEST_F(AllocationSweep, OneAccountQuotaDocument)
{
    for (const char* mode : {"once", "onward"})
        EXPECT_GE(sweep("action=quota&account=a%40x.org", mode).runs, 3) << mode;
}

TEST_F(AllocationSweep, SwitchAndErrorEnvelopes)
{
    for (const char* mode : {"once", "onward"}) {
        EXPECT_GE(sweep("action=switch&account=c%40x.org", mode).runs, 2) << mode;
        write_text(selected_file, "b@x.org\n");
        EXPECT_GE(sweep("action=quota&account=nobody%40x.org", mode).runs, 2) << mode;
        EXPECT_GE(sweep("action=nothing", mode).runs, 1) << mode;
    }
}
