// Decoding styled-text tables of growing size and reading every run in
// order, in the emulated host: prints the time per record at each size and
// the ratio of the largest size's per-record time to that at 1000 records.
// Both must stay linear (ratio within 2x).
#include "loadhost.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

double PerRecordNs(host::Host& host, const char* decoder, const std::string& text, const std::string& styles, int n) {
    auto start = std::chrono::steady_clock::now();
    void* t = host.NewString(text, host::kUTF8);
    void* st = host.NewString(styles, host::kRaw);
    host::Value list = host.CallGlobal(decoder, {host::Value::H(t), host::Value::H(st)});
    const host::MethodDef* style = host.ClassMethod("StyleDataListTKZ", "Style", false, 1);
    for (int i = 1; i <= n; ++i) {
        host::Value run = host.Call(style, {host::Value::I(i)}, list.h);
        if (run.h == nullptr) {
            fprintf(stderr, "entry %d missing\n", i);
            return -1;
        }
        host.Unlock(run.h);
    }
    host.Unlock(list.h);
    host.Unlock(t);
    host.Unlock(st);
    auto ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    return ns / n;
}

std::string MacTable(int n) {
    std::string t;
    t += (char)(n & 0xFF);
    t += (char)(n >> 8);
    for (int i = 0; i < n; ++i) {
        std::string rec(20, '\0');
        rec[0] = (char)(i & 0xFF);
        rec[1] = (char)((i >> 8) & 0xFF);
        rec[11] = 1;
        t += rec;
    }
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    host::Host host(BenchConfig());
    if (!LoadBenchPlugin(host, argc, argv)) return 1;
    int status = 0;
    struct Case {
        const char* name;
        const char* decoder;
        int sizes[3];
    } cases[] = {
        {"windows", "DecompileWinStyleDataTKZ", {1000, 10000, 100000}},
        {"mac", "DecompileMacStyleDataTKZ", {1000, 10000, 32767}},
    };
    for (const Case& c : cases) {
        double first = 0, last = 0;
        for (int n : c.sizes) {
            std::string text(n, 'x');
            std::string styles = c.decoder[9] == 'W' ? std::string() : MacTable(n);
            if (styles.empty())
                for (int i = 0; i < n; ++i) styles += std::string("\x01\x0C", 2);
            double ns = PerRecordNs(host, c.decoder, text, styles, n);
            printf("%-8s %7d records: %8.0f ns per record\n", c.name, n, ns);
            if (n == c.sizes[0]) first = ns;
            last = ns;
        }
        double ratio = last / first;
        printf("%-8s largest / 1000: %.2fx %s\n", c.name, ratio, ratio <= 2.0 ? "(linear)" : "(NOT linear)");
        if (ratio > 2.0) status = 1;
    }
    if (!Balanced(host)) status = 1;
    return status;
}
