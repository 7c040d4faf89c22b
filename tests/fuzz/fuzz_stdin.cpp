// The standard-input readers over random bytes, each input in a child
// process whose standard input is a file of those bytes (standard input is
// the process's own state). A random sequence of the "StdinTKZ" shared
// methods runs against the same reads done by the C library on a memory
// stream of the same bytes, until the first Flush (which drains the
// descriptor under whatever the stream has buffered: no model follows it).
#include "fuzz.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace fuzz;

namespace {

enum Op { kRead, kCharacter, kInteger, kDouble, kString, kReady, kFlush };
const char* names[] = {"Read", "GetCharacter", "ReadInteger", "ReadDouble", "ReadString", "IsReady", "Flush"};
const host::MethodDef* methods[7];

// The child's coverage stays in the child. What each call answered comes
// back through a pipe instead, as extra counters that guide libFuzzer.
__attribute__((used, section("__libfuzzer_extra_counters"))) uint8_t answers[4096];

uint8_t Kind(Op op, const Value& got) {
    if (op == kRead) return got.h == nullptr ? 0 : 1 + std::min(6, (int)log2(Host().Bytes(got.h).size()));
    if (op == kCharacter) return got.i < 0 ? 0 : 1 + got.i / 64;
    return (uint8_t)(op == kReady ? got.b : got.i + 1);
}

void Child(FuzzedDataProvider& in, int trace) {
    std::vector<std::pair<Op, int32_t>> ops;
    for (int n = in.ConsumeIntegralInRange(1, 12); n > 0; --n)
        ops.push_back(
            {(Op)in.ConsumeIntegralInRange(0, 6), in.ConsumeBool() ? INT_MIN : in.ConsumeIntegralInRange(-3, 5000)});
    std::string bytes = in.ConsumeRemainingBytesAsString();
    int fd = memfd_create("stdin", 0);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != (ssize_t)bytes.size()) Fail("no memory file");
    lseek(fd, 0, SEEK_SET), dup2(fd, 0), close(fd);
    // fmemopen takes no empty buffer
    FILE* model = bytes.empty() ? fopen("/dev/null", "r") : fmemopen((void*)bytes.data(), bytes.size(), "r");
    Scope s;
    std::string done;
    for (auto [op, count] : ops) {
        done += std::string(" ") + names[op] + (op == kRead ? "(" + std::to_string(count) + ")" : "");
        long i = 77;
        double d = 7.5;
        void* word = op == kString ? Host().NewString("old", host::kUTF8) : nullptr;  // ReadString releases it
        std::vector<Value> args;
        if (op == kRead) args = {Value::I(count)};
        if (op == kInteger || op == kDouble || op == kString)
            args = {Value::R(op == kInteger ? (void*)&i : op == kDouble ? (void*)&d : &word)};
        Value got = s.Call(methods[op], args);
        s.Own(word);
        uint8_t kind = (uint8_t)(op << 4 | Kind(op, got));
        if (write(trace, &kind, 1) != 1) Fail("no pipe");
        if (model == nullptr) continue;
        // What the call answered, and what the C library's reads give.
        std::string answer = std::to_string(got.i), want, read(count > 0 ? (size_t)count : 0, '\0');
        char buf[4096] = {};
        int v = 0;
        double w = 0;
        auto bits = [](double x) { return Hex(std::string((const char*)&x, sizeof x)); };
        switch (op) {
            case kRead:
                read.resize(fread(read.data(), 1, read.size(), model)), answer = s.Text(got.h),
                                                                        want = Built(read, host::kRaw);
                break;
            case kCharacter: want = std::to_string(fgetc(model)); break;
            case kInteger:
                want = std::to_string(fscanf(model, "%d", &v)) + " " + std::to_string(v),
                answer += " " + std::to_string(i);
                break;
            case kDouble:
                want = std::to_string(fscanf(model, "%lf", &w)) + " " + bits(w), answer += " " + bits(d);
                break;
            case kString:
                want = std::to_string(fscanf(model, "%4095s", buf)) + " " + Built(buf, host::kRaw),
                answer += " " + s.Text(word);
                break;
            case kReady: want = "1", answer = std::to_string(got.b); break;  // a file is always ready
            case kFlush: fclose(model), model = nullptr; continue;
        }
        FUZZ_CHECK(answer == want, "input " + Hex(bytes) + " calls" + done + " gave " + answer + ", not " + want);
    }
    if (model) fclose(model);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (methods[0] == nullptr)  // found once, before the children
        for (int op = 0; op < 7; ++op) methods[op] = Member("StdinTKZ", names[op], true);
    fflush(stderr);
    int trace[2];
    if (pipe(trace) != 0) Fail("no pipe");
    pid_t pid = fork();
    if (pid == 0) {
        close(trace[0]);
        FuzzedDataProvider in(data, size);
        Child(in, trace[1]);
        _exit(0);
    }
    close(trace[1]);
    // libFuzzer's timers interrupt the reads and the wait: a read given up
    // early would leave the child writing to a closed pipe.
    uint8_t kind;
    for (ssize_t i = 0, n; (n = read(trace[0], &kind, 1)) == 1 || (n < 0 && errno == EINTR);)
        if (n == 1) answers[(i++ * 256 + kind) % sizeof answers] = 1;
    close(trace[0]);
    int status = 0;
    pid_t waited;
    while ((waited = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {}
    if (pid < 0 || waited != pid) Fail("cannot run the child");
    FUZZ_CHECK(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the child ended with status " + std::to_string(status));
    return 0;
}
