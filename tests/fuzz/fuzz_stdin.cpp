// The standard-input readers over random bytes, each input in a child
// process whose standard input is a pipe holding those bytes. A random
// sequence of all seven "StdinTKZ" shared methods runs against a model: the
// same reads done by the C library on a second pipe holding the same bytes,
// Flush as reading its descriptor until nothing waits, IsReady as bytes
// waiting on it or its input ended; at the end what is left must be the
// same. Both pipes stay open for writing until the first read, so that
// IsReady can be false and Flush must not wait; then they close, so that no
// read waits for ever. Half the inputs start with numbers at the edges of
// their widths and words at the edge of ReadString's buffer.
#include "fuzz.h"

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/ioctl.h>
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

const char* const kTokens[] = {"255",        "256",         "-32769",     "32768",      "65535", "65536",
                               "2147483647", "-2147483648", "2147483648", "4294967296", "1e308", "1e309",
                               "4.9e-324",   "-0",          "nan",        "inf",        "0x",    "+"};

std::string Input(FuzzedDataProvider& in) {
    std::string bytes;
    for (int n = in.ConsumeBool() ? in.ConsumeIntegralInRange(1, 6) : 0; n > 0; --n) {
        bool word = in.ConsumeIntegralInRange(0, 7) == 0;
        bytes += word ? std::string(4095 + in.ConsumeIntegralInRange(-1, 1), 'w') : in.PickValueInArray(kTokens);
        bytes += " \n\t"[in.ConsumeIntegralInRange(0, 2)];
    }
    return (bytes + in.ConsumeRemainingBytesAsString()).substr(0, 65536);  // what an empty pipe holds
}

// The read end of a new pipe holding `bytes`; `writer` its write end.
int Pipe(const std::string& bytes, int* writer) {
    int ends[2];
    if (pipe(ends) != 0 || write(ends[1], bytes.data(), bytes.size()) != (ssize_t)bytes.size()) Fail("no pipe");
    return *writer = ends[1], ends[0];
}

// Calls one reader as the host would; a byref parameter's slot is i, d or
// *word (a string of its own, which ReadString releases).
Value CallReader(Scope& s, Op op, int32_t count, long* i, double* d, void** word) {
    *word = op == kString ? Host().NewString("old", host::kUTF8) : nullptr;
    std::vector<Value> args;
    if (op == kRead) args = {Value::I(count)};
    if (op == kInteger || op == kDouble || op == kString)
        args = {Value::R(op == kInteger ? (void*)i : op == kDouble ? (void*)d : (void*)word)};
    Value got = s.Call(methods[op], args);
    s.Own(*word);
    return got;
}

void Child(FuzzedDataProvider& in, int trace) {
    std::vector<std::pair<Op, int32_t>> ops;
    for (int n = in.ConsumeIntegralInRange(1, 12); n > 0; --n)
        ops.push_back({(Op)in.ConsumeIntegralInRange(0, 6), std::min(Edge<int32_t>(in, 4096), 65537)});
    std::string bytes = Input(in);
    int writers[2], fd = Pipe(bytes, &writers[0]);
    dup2(fd, 0), close(fd);
    fd = Pipe(bytes, &writers[1]);
    fcntl(fd, F_SETFL, O_NONBLOCK);
    FILE* model = fdopen(fd, "r");
    Scope s;
    std::string done;
    for (auto [op, count] : ops) {
        if (op < kReady && writers[0] >= 0) close(writers[0]), close(writers[1]), writers[0] = -1;
        done += std::string(" ") + names[op] + (op == kRead ? "(" + std::to_string(count) + ")" : "");
        long i = 77;
        double d = 7.5;
        void* word = nullptr;
        Value got = CallReader(s, op, count, &i, &d, &word);
        uint8_t kind = (uint8_t)(op << 4 | Kind(op, got));
        if (write(trace, &kind, 1) != 1) Fail("no pipe");
        // What the call answered, and what the model gives.
        std::string answer = std::to_string(got.i), want, read(count > 0 ? (size_t)count : 0, '\0');
        char buf[4096] = {};
        int v = 0, waiting = 0;
        double w = 0;
        auto bits = [](double x) { return Hex(std::string((const char*)&x, sizeof x)); };
        switch (op) {
            case kRead:
                read.resize(fread(read.data(), 1, read.size(), model));
                answer = s.Text(got.h), want = Built(read, host::kRaw);
                break;
            case kCharacter: want = std::to_string(fgetc(model)); break;
            case kInteger:
                want = std::to_string(fscanf(model, "%d", &v)) + " " + std::to_string(v);
                answer += " " + std::to_string(i);
                break;
            case kDouble:
                want = std::to_string(fscanf(model, "%lf", &w)) + " " + bits(w), answer += " " + bits(d);
                break;
            case kString:
                want = std::to_string(fscanf(model, "%4095s", buf)) + " " + Built(buf, host::kRaw);
                answer += " " + s.Text(word);
                break;
            case kReady:
                ioctl(fd, FIONREAD, &waiting);
                want = std::to_string(writers[0] < 0 || waiting > 0), answer = std::to_string(got.b);
                break;
            case kFlush:
                while (::read(fd, buf, sizeof buf) > 0) {}
                continue;
        }
        FUZZ_CHECK(answer == want, "input " + Hex(bytes) + " calls" + done + " gave " + answer + ", not " + want);
    }
    if (writers[0] >= 0) close(writers[0]), close(writers[1]);
    std::string rest(bytes.size() + 1, '\0'), left = rest;
    rest.resize(fread(rest.data(), 1, rest.size(), stdin)), left.resize(fread(left.data(), 1, left.size(), model));
    FUZZ_CHECK(rest == left, "input " + Hex(bytes) + " calls" + done + " left " + Hex(rest) + ", not " + Hex(left));
    fclose(model);
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
        alarm(10);  // a call that waits for ever ends the child (status 14), not the run
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
