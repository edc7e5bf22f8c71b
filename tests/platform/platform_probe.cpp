// A child process for the platform tests: waits, prints or leaves a file, as told.
//
//   platform_probe after MS FILE     wait MS milliseconds, then create FILE
//   platform_probe print N MS TEXT   print TEXT N times, waiting MS milliseconds between
//   platform_probe fill N            print N bytes of "x" in large writes
//
// Exit code 0 when all went out, 1 when a write failed (the reader went away), 2 for bad
// arguments. Only the standard library: it is the same program on every OS.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

void wait_ms(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool print(const std::string& text)
{
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
           std::fflush(stdout) == 0;
}

int after(long ms, const char* file)
{
    wait_ms(ms);
    std::FILE* f = std::fopen(file, "wb");
    if (f == nullptr)
        return 1;
    return std::fclose(f) == 0 ? 0 : 1;
}

int repeat(long times, long ms, const char* text)
{
    for (long i = 0; i < times; ++i) {
        if (i > 0)
            wait_ms(ms);
        if (!print(text))
            return 1;
    }
    return 0;
}

int fill(long bytes)
{
    const std::string block(65536, 'x');
    for (long left = bytes; left > 0; left -= static_cast<long>(block.size())) {
        if (!print(left < static_cast<long>(block.size()) ? block.substr(0, left) : block))
            return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "after") == 0)
        return after(std::atol(argv[2]), argv[3]);
    if (argc == 5 && std::strcmp(argv[1], "print") == 0)
        return repeat(std::atol(argv[2]), std::atol(argv[3]), argv[4]);
    if (argc == 3 && std::strcmp(argv[1], "fill") == 0)
        return fill(std::atol(argv[2]));
    return 2;
}
