// "StdinTKZ" and "StdoutTKZ" over real descriptors: each test's host process
// gets a standard input the test prepared (a file or a pipe) and, where
// output is checked, a standard output captured in a file.
#include "support.h"

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

using emu::Value;

namespace {

// Standard input from a file holding `bytes`.
void InputFrom(const std::string& bytes) {
    char path[] = "/tmp/tkz-stdin-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), (ssize_t)bytes.size());
    lseek(fd, 0, SEEK_SET);
    dup2(fd, 0);
    close(fd);
    unlink(path);
}

// Standard input from a pipe; returns the write end (-1 once closed).
int InputPipe(const std::string& bytes) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    if (write(fds[1], bytes.data(), bytes.size()) != (ssize_t)bytes.size()) return -1;
    dup2(fds[0], 0);
    close(fds[0]);
    return fds[1];
}

Value Shared(tkz::Session& s, const char* method, std::vector<Value> args = {}) {
    return s.Method(nullptr, "StdinTKZ", method, args);
}

// Standard output captured in a file while the object lives.
struct Captured {
    std::string path;
    int saved;
    Captured() {
        char p[] = "/tmp/tkz-stdout-XXXXXX";
        int fd = mkstemp(p);
        path = p;
        fflush(stdout);
        saved = dup(1);
        dup2(fd, 1);
        close(fd);
    }
    std::string Text() {
        std::ifstream f(path, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    ~Captured() {
        fflush(stdout);
        dup2(saved, 1);
        close(saved);
        unlink(path.c_str());
    }
};

}  // namespace

PLUGIN_TEST(Stdin, NumbersThenWords) {
    InputFrom("12 abc 2.5");
    long n = 77;
    EXPECT_EQ(Shared(s, "ReadInteger", {Value::R(&n)}).i, 1);
    EXPECT_EQ(n, 12);
    EXPECT_EQ(Shared(s, "ReadInteger", {Value::R(&n)}).i, 0) << "letters are no number";
    EXPECT_EQ(n, 0);
    void* word = s.host.NewString("old", emu::kUTF8);  // released by ReadString
    EXPECT_EQ(Shared(s, "ReadString", {Value::R(&word)}).i, 1);
    s.Own(word);
    EXPECT_EQ(s.Bytes(word), "abc");
    EXPECT_EQ(s.Enc(word), emu::kRaw);
    double d = 9;
    EXPECT_EQ(Shared(s, "ReadDouble", {Value::R(&d)}).i, 1);
    EXPECT_EQ(d, 2.5);
    EXPECT_EQ(Shared(s, "ReadDouble", {Value::R(&d)}).i, -1);
    EXPECT_EQ(d, 0.0);
    void* none = nullptr;
    EXPECT_EQ(Shared(s, "ReadString", {Value::R(&none)}).i, -1);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(Shared(s, "ReadInteger", {Value::R(&n)}).i, -1);
    EXPECT_EQ(Shared(s, "GetCharacter").i, -1);
}

PLUGIN_TEST(Stdin, LongWordComesInTwoParts) {
    InputFrom(std::string(5000, 'w') + "\n");
    void* word = nullptr;
    EXPECT_EQ(Shared(s, "ReadString", {Value::R(&word)}).i, 1);
    EXPECT_EQ(s.Bytes(word).size(), 4095u);
    EXPECT_EQ(Shared(s, "ReadString", {Value::R(&word)}).i, 1);
    s.Own(word);
    EXPECT_EQ(s.Bytes(word), std::string(905, 'w'));
}

PLUGIN_TEST(Stdin, ReadBytes) {
    InputFrom(std::string("\x01\x00\xFFz", 4));
    EXPECT_EQ(Shared(s, "Read", {Value::I(0)}).h, nullptr);
    EXPECT_EQ(Shared(s, "Read", {Value::I(-1)}).h, nullptr);
    EXPECT_EQ(Shared(s, "GetCharacter").i, 1);
    Value rest = Shared(s, "Read", {Value::I(10)});
    EXPECT_EQ(s.Bytes(rest.h), std::string("\x00\xFFz", 3));
    EXPECT_EQ(s.Enc(rest.h), emu::kRaw);
    EXPECT_EQ(Shared(s, "Read", {Value::I(10)}).h, nullptr);
}

PLUGIN_TEST(Stdin, IsReadyLooksAtTheDescriptorOnly) {
    int writer = InputPipe("ab\n");
    ASSERT_GE(writer, 0);
    EXPECT_TRUE(Shared(s, "IsReady").b);
    EXPECT_EQ(Shared(s, "GetCharacter").i, 'a');  // the stream buffers the whole line
    EXPECT_FALSE(Shared(s, "IsReady").b) << "buffered bytes do not count";
    EXPECT_EQ(Shared(s, "GetCharacter").i, 'b');
    close(writer);
    EXPECT_TRUE(Shared(s, "IsReady").b) << "end of input is readable";
}

PLUGIN_TEST(Stdin, FlushDrainsAndStopsAtEndOfInput) {
    int writer = InputPipe(std::string(3000, 'x'));
    ASSERT_GE(writer, 0);
    Shared(s, "Flush");  // drains what waits, returns with the writer still open
    EXPECT_FALSE(Shared(s, "IsReady").b);
    ASSERT_EQ(write(writer, "yz", 2), 2);
    close(writer);
    Shared(s, "Flush");  // drains, then finds end of input and returns
    EXPECT_EQ(Shared(s, "GetCharacter").i, -1);
}

PLUGIN_TEST(Stdout, WritesBytesAndFlushes) {
    Captured out;
    void* writer = s.New("StdoutTKZ");
    s.Method(writer, "StdoutTKZ", "Write", {Value::H(s.Str(std::string("a\0b", 3), emu::kRaw))});
    s.Method(writer, "StdoutTKZ", "Write", {Value::H(s.Str(""))});
    s.Method(writer, "StdoutTKZ", "Write", {Value::H(nullptr)});
    s.Method(writer, "StdoutTKZ", "Write", {Value::H(s.Str("\xC3\xA9"))});
    s.Method(writer, "StdoutTKZ", "Flush");
    EXPECT_EQ(out.Text(), std::string("a\0b\xC3\xA9", 5));
    // Destroying a writer flushes what is still buffered.
    s.Method(writer, "StdoutTKZ", "Write", {Value::H(s.Str("end"))});
    s.host.Unlock(writer);
    s.owned.erase(std::find(s.owned.begin(), s.owned.end(), writer));
    EXPECT_EQ(out.Text(), std::string("a\0b\xC3\xA9" "end", 8));
}
