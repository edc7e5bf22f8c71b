// The stand-in's call log reader and the fixture of the hostile-input suites.
#include "tests/hostile/hostile.h"

#include <cstdio>
#include <cstdlib>

namespace {

int hex_value(char c)
{
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// Reads the JSON string at text[at] (the stand-in writes only \", \\ and \u00XX escapes).
std::string read_logged_string(const std::string& text, std::size_t& at)
{
    std::string out;
    for (++at; at < text.size() && text[at] != '"'; ++at) {
        if (text[at] != '\\') {
            out += text[at];
            continue;
        }
        char e = text[++at];
        if (e == 'u') {
            out += static_cast<char>(hex_value(text[at + 3]) * 16 + hex_value(text[at + 4]));
            at += 4;
        } else {
            out += e;
        }
    }
    ++at;
    return out;
}

}  // namespace

std::vector<std::vector<std::string>> standin_calls(const std::string& log_path)
{
    std::vector<std::vector<std::string>> calls;
    std::string log = read_text(log_path);
    if (log == "<missing>")
        return calls;
    for (std::size_t line = 0; line < log.size();) {
        std::size_t end = log.find('\n', line);
        std::string text = log.substr(line, end - line);
        line = end == std::string::npos ? log.size() : end + 1;
        std::vector<std::string> argv;
        std::size_t at = text.find("{\"argv\":[");
        if (at == std::string::npos) {
            calls.push_back({"<unreadable log line>", text});
            continue;
        }
        for (at += 9; at < text.size() && text[at] == '"';) {
            argv.push_back(read_logged_string(text, at));
            if (text[at] == ',')
                ++at;
        }
        calls.push_back(argv);
    }
    return calls;
}

void HostileRun::SetUp()
{
    clear_plugin_environment();
    platform_setenv("GOOGLE_ACCOUNTS_FILE", accounts_file.c_str());
    platform_setenv("GOOGLE_SELECTED_FILE", selected_file.c_str());
    platform_setenv("BRELVANE_BIN", STANDIN_EXE);
    platform_setenv("BRELVANE_STANDIN_DIR", answers.path.string().c_str());
    platform_setenv("BRELVANE_STANDIN_LOG", standin_log.c_str());
}

void HostileRun::tool_answers(const std::string& email, const std::string& json,
                              const std::string& behave)
{
    write_text(answers.file(email + ".json"), json);
    if (!behave.empty())
        write_text(answers.file(email + ".behave"), behave);
}

run_output HostileRun::request(const char* query, std::string_view body)
{
    platform_setenv("QUERY_STRING", query);
    return run_plugin({}, body);
}

std::string envelope_text(const char* status_line, const char* code, const char* detail)
{
    buf body;
    buf_adds(body, "{\"ok\":false,\"error\":");
    buf_json(body, code);
    if (detail != nullptr && detail[0] != '\0') {
        buf_adds(body, ",\"detail\":");
        buf_json(body, detail);
    }
    return std::string("Status: ") + status_line + "\r\n" + std::string(json_header_block) +
           std::string(body.view()) + "}\n";
}

std::string canned_answer(double gemini_fraction, double claude_fraction)
{
    char text[512];
    std::snprintf(text, sizeof text,
                  "{\"ok\":true,\"project\":\"p\",\"buckets\":["
                  "{\"modelId\":\"gemini-2.5-pro\",\"remainingFraction\":%g,\"resetTime\":"
                  "\"2020-01-01T00:00:00Z\"},"
                  "{\"modelId\":\"claude-opus\",\"remainingFraction\":%g,\"resetTime\":"
                  "\"2020-01-02T00:00:00Z\"}]}\n",
                  gemini_fraction, claude_fraction);
    return text;
}
