// tkzhost: loads a plugin of this interface into the emulated host, shows
// what it registered, and runs statements against it (see script.h). At the
// end of a run it reports every reference the plugin leaked or released too
// often, and exits non-zero when there was any.
//
//   tkzhost PLUGIN.so                      what the plugin registers
//   tkzhost PLUGIN.so -e STATEMENT ...     run statements
//   tkzhost PLUGIN.so SCRIPT               run a script file ('-': standard
//                                          input; on a terminal, a prompt
//                                          with line editing and history)
//   tkzhost --reference PLUGIN.so          the registered interface as Markdown
#include "host.h"
#include "lineedit.h"
#include "script.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <unistd.h>

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: tkzhost PLUGIN.so [-e STATEMENT ...] [SCRIPT | -]\n"
                 "       tkzhost --reference PLUGIN.so\n");
    return 2;
}

std::string Reference(emu::Host& host) {
    emu::Registry& r = host.registry();
    std::string out = "| # | Global method |\n|---|---|\n";
    for (size_t i = 0; i < r.methods.size(); ++i)
        out += "| " + std::to_string(i + 1) + " | `" + r.methods[i]->declaration + "` |\n";
    for (emu::ClassDef* e : r.extensions) {
        out += "\n| Extension method of " + std::string(e->name) + " |\n|---|\n";
        for (uint32_t i = 0; i < e->methodCount; ++i) out += std::string("| `") + e->methods[i].declaration + "` |\n";
    }
    for (emu::ClassDef* c : r.classes) {
        out += "\n| " + std::string(c->name) + " | Type | Access |\n|---|---|---|\n";
        for (uint32_t i = 0; i < c->propertyCount; ++i) {
            const emu::PropertyDef& p = c->properties[i];
            out += std::string("| property `") + p.name + "` | " + p.type + " | " +
                   (p.setter == nullptr ? "read-only" : "read/write") + " |\n";
        }
        for (uint32_t i = 0; i < c->methodCount; ++i)
            out += std::string("| method `") + c->methods[i].declaration + "` | | |\n";
        for (uint32_t i = 0; i < c->sharedMethodCount; ++i)
            out += std::string("| shared method `") + c->sharedMethods[i].declaration + "` | | |\n";
        if (c->destructor) out += "| destructor | | |\n";
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    bool reference = std::string(argv[1]) == "--reference";
    if (reference && argc != 3) return Usage();
    std::string plugin = argv[reference ? 2 : 1];

    emu::Host host;
    std::string error;
    if (!host.Load(plugin, &error)) {
        std::fprintf(stderr, "tkzhost: %s\n", error.c_str());
        return 1;
    }
    if (reference) {
        std::cout << Reference(host);
        return 0;
    }

    // What to run: -e statements, then a script.
    std::vector<std::pair<std::string, std::string>> lines;  // (where, text)
    std::string script;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-e") {
            if (++i >= argc) return Usage();
            lines.push_back({"-e " + std::to_string(lines.size() + 1), argv[i]});
        } else if (script.empty()) {
            script = a;
        } else {
            return Usage();
        }
    }
    if (lines.empty() && script.empty()) {
        std::cout << emu::DescribeRegistry(host);
        return 0;
    }

    uint64_t mark = host.Mark();
    int status = 0;
    {
        tkzhost::Interpreter run(host);
        auto execute = [&](const std::string& where, const std::string& text) {
            std::string out, err;
            bool ok = run.Run(text, &out, &err);
            std::cout << out << std::flush;
            if (!ok) std::fprintf(stderr, "tkzhost: %s, %s\n", where.c_str(), err.c_str());
            return ok;
        };
        for (auto& [where, text] : lines)
            if (!execute(where, text)) {
                status = 1;
                break;
            }
        if (status == 0 && !script.empty()) {
            bool interactive = script == "-" && isatty(0);
            std::ifstream file;
            if (script != "-") {
                file.open(script);
                if (!file) {
                    std::fprintf(stderr, "tkzhost: cannot read %s\n", script.c_str());
                    return 1;
                }
            }
            std::istream& in = script == "-" ? std::cin : file;
            tkzhost::LineEditor editor;
            std::string line;
            for (int n = 1;; ++n) {
                if (interactive ? !editor.Read("tkz> ", &line) : !std::getline(in, line)) break;
                if (!execute((script == "-" ? std::string("line ") : script + ":") + std::to_string(n), line) &&
                    !interactive) {
                    status = 1;
                    break;
                }
            }
        }
        run.Clear();
    }
    std::fflush(stdout);

    std::vector<emu::Leak> leaks = host.LiveSince(mark);
    if (!leaks.empty() || !host.violations.empty()) {
        std::fprintf(stderr, "tkzhost: reference faults of the plugin during this run:\n");
        for (const emu::Leak& l : leaks) std::fprintf(stderr, "  leaked: %s\n", l.what.c_str());
        for (const std::string& v : host.violations) std::fprintf(stderr, "  %s\n", v.c_str());
        if (status == 0) status = 3;
    }
    return status;
}
