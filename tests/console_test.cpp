// "StdinTKZ" and "StdoutTKZ" over real descriptors: each test's host process
// gets a standard input the test prepared (a pipe) and, where output is
// checked, a standard output captured in a file. What each read answers is
// fuzz_stdin's, against the C library's own reads; here what a file cannot
// show: words beyond the buffer, readiness, draining an open pipe.
#include "support.h"

#include "console/console.h"

#include <functional>
#include <unistd.h>

using host::Value;

namespace {

// Standard input from a pipe holding `bytes`; returns its write end, closed
// unless kept open (then the input ends after the bytes).
int Input(const std::string& bytes, bool keepOpen = false) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    EXPECT_EQ(write(fds[1], bytes.data(), bytes.size()), (ssize_t)bytes.size());
    dup2(fds[0], 0);
    close(fds[0]);
    if (!keepOpen) close(fds[1]);
    return fds[1];
}

Value Shared(tkz::Session& s, const char* m, std::vector<Value> args = {}) {
    return s.Method(nullptr, "StdinTKZ", m, args);
}

// What reached standard output and error while `body` ran (what is left in
// a stream's buffer is not seen).
std::string Captured(const std::function<void()>& body) {
    FILE* file = tmpfile();
    int saved[3] = {-1, dup(1), dup(2)};
    fflush(stdout), dup2(fileno(file), 1), dup2(fileno(file), 2);
    body();
    std::string out(256, '\0');
    out.resize((size_t)pread(fileno(file), out.data(), out.size(), 0));
    fflush(stdout);
    for (int fd : {1, 2}) dup2(saved[fd], fd), close(saved[fd]);
    fclose(file);
    return out;
}

// Writes each string with `writer`, then flushes it or destroys it.
std::string Written(tkz::Session& s, void* writer, std::vector<void*> strs, bool destroy) {
    return Captured([&] {
        for (void* str : strs) s.Method(writer, "StdoutTKZ", "Write", {Value::H(str)});
        if (destroy) s.host.Unlock(writer);
        else s.Method(writer, "StdoutTKZ", "Flush");
    });
}

}  // namespace

PLUGIN_TEST(Stdin, LongWordComesInTwoParts) {
    Input(std::string(5000, 'w') + "\n");
    void* word = nullptr;
    EXPECT_EQ(Shared(s, "ReadString", {Value::R(&word)}).i, 1);
    EXPECT_EQ(s.Bytes(word), std::string(4095, 'w'));
    EXPECT_EQ(Shared(s, "ReadString", {Value::R(&word)}).i, 1);  // releases the first part
    EXPECT_EQ(s.Bytes(s.Own(word)), std::string(905, 'w'));
}

PLUGIN_TEST(Stdin, IsReadyLooksAtTheDescriptorOnly) {
    int writer = Input("ab\n", true);
    EXPECT_TRUE(Shared(s, "IsReady").b);
    EXPECT_EQ(Shared(s, "GetCharacter").i, 'a');  // the stream buffers the whole line
    EXPECT_FALSE(Shared(s, "IsReady").b) << "buffered bytes do not count";
    EXPECT_EQ(Shared(s, "GetCharacter").i, 'b');
    close(writer);
    EXPECT_TRUE(Shared(s, "IsReady").b) << "end of input is readable";
}

PLUGIN_TEST(Stdin, FlushDrainsAndStopsAtEndOfInput) {
    int writer = Input(std::string(3000, 'x'), true);
    Shared(s, "Flush");  // drains what waits, returns with the writer still open
    EXPECT_FALSE(Shared(s, "IsReady").b);
    ASSERT_EQ(write(writer, "yz", 2), 2);
    close(writer);
    Shared(s, "Flush");  // drains, then finds end of input and returns
    EXPECT_EQ(Shared(s, "GetCharacter").i, -1);
}

// Written as the string's bytes, unconverted; destroying a writer flushes
// what is still buffered.
PLUGIN_TEST(Stdout, WritesBytesAndFlushes) {
    void* writer = s.host.NewObject("StdoutTKZ");
    EXPECT_EQ(
        Written(s, writer, {s.Str(std::string("a\0b", 3), host::kRaw), s.Str(""), nullptr, s.Str("\xC3\xA9")}, false),
        std::string("a\0b\xC3\xA9", 5));
    EXPECT_EQ(Written(s, writer, {s.Str("end")}, true), "end");
}

// The console callbacks: writers take every byte and write none, the reader
// takes none.
PLUGIN_TEST(ConsoleCallbacks, WritersTakeEveryByteTheReaderNone) {
    auto callback = [&](const char* m) { return (int (*)(void*, const char*, int))(uintptr_t)s.Call(m).i; };
    EXPECT_EQ((void*)callback("ReturnOutPtrTKZ"), (void*)TKZ_FN(gsdll_stdout).f);
    auto out = callback("ReturnOutPtrTKZ"), err = callback("ReturnErrPtrTKZ");
    EXPECT_EQ(Captured([&] {
                  EXPECT_EQ(out(nullptr, "ignored", 17), 17);
                  EXPECT_EQ(err(nullptr, "x", 5), 5);
              }),
              "")
        << "the writers write nothing";
    char buf[4] = "abc";
    EXPECT_EQ(((int (*)(void*, char*, int))callback("ReturnInPtrTKZ"))(nullptr, buf, 3), 0);
    EXPECT_EQ(std::string(buf), "abc");
}
