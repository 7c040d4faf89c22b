// Calls from the interpreter: the plugin's members, each argument fitted to
// its declared type (the host's classifier reads it) and byref variables
// through slots, and the built-ins (script_impl.h).
#include "script_impl.h"

#include "language.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

namespace tkzhost {

using host::Lower;
using host::Value;

std::string NameOf(const host::MethodDef& m) { return host::ParseDecl(m.declaration).name; }

// Adds the entries of a method table whose name is `name` (the overloads).
void AddNamed(std::vector<const host::MethodDef*>& out, const host::MethodDef* table, uint32_t count,
              const std::string& name) {
    for (uint32_t i = 0; i < count; ++i)
        if (Lower(NameOf(table[i])) == Lower(name)) out.push_back(&table[i]);
}

namespace {

// A parameter's type as Classify reads it: "T()" for an array of T.
std::string TypeOf(const host::Param& p) { return p.array ? p.type + "()" : p.type; }

}  // namespace

std::string Interpreter::Impl::Misfit(const Value& v, const std::string& type, const std::string& what) {
    using host::Type;
    host::DeclaredType d = host::Classify(type);
    Type t = d.array ? Type::Object : d.type;
    bool number = host::IsWord32(t) || host::Is64(t) || t == Type::Double || t == Type::Single;
    if (v.kind == Value::None || (v.kind == Value::Handle && !v.h))
        return number || t == Type::Boolean ? what + " must be " + type + ", not nil" : "";
    std::string shown = v.kind == Value::Handle ? "" : ", not " + Describe(host, v);
    if (host::IsWord32(t)) {
        // A color or a uint32 takes the 32-bit patterns above 2147483647 too.
        bool pattern = t != Type::Integer;
        std::string noun = t == Type::Color ? "a color" : t == Type::UInt32 ? "a uint32" : "an integer";
        if (v.kind == Value::Int) return "";
        if (v.kind == Value::Int64 && pattern && v.l >= 0 && v.l <= 0xFFFFFFFFll) return "";
        if (v.kind == Value::Int64)
            return what + " is out of range: " + std::to_string(v.l) + "; " + noun +
                   (pattern ? " is 0 to &hFFFFFFFF" : " is -2147483648 to 2147483647");
        return what + " must be " + noun + shown;
    }
    if (host::Is64(t))
        return v.kind == Value::Int || v.kind == Value::Int64
                   ? ""
                   : what + " must be " + (t == Type::Int64 ? "an int64" : "a uint64") + shown;
    if (number) return v.kind == Value::Handle || v.kind == Value::Bool ? what + " must be a number" + shown : "";
    if (t == Type::Boolean) return v.kind == Value::Bool ? "" : what + " must be true or false" + shown;
    if (t == Type::String) return IsString(v) ? "" : what + " must be a string" + shown;
    std::string need = what + " must be " + type + shown;
    if (!IsObject(v)) return need;
    host::HostClass* c = host.ClassOf(v.h);
    if (d.array) return c->kind == host::kArray ? "" : need;
    if (t == Type::MemoryBlock) return c->kind == host::kMemoryBlock ? "" : need;
    if (t == Type::FolderItem) return c->kind == host::kFolderItem ? "" : need;
    if (t == Type::Object || t == Type::Variant) return "";
    for (; c; c = c->parent)
        if (Lower(c->name) == d.name) return "";
    return need;
}

Value Interpreter::Impl::As(Value v, const std::string& type) {
    host::DeclaredType d = host::Classify(type);
    // An array goes on the stack as its handle, whatever its element.
    if (d.array) return v.kind == Value::Handle ? Value::R(v.h) : v;
    bool real = d.type == host::Type::Double || d.type == host::Type::Single;
    if (real && v.kind == Value::Int) return Value::D(v.i);
    if (real && v.kind == Value::Int64) return Value::D((double)v.l);
    if (host::Is64(d.type) && v.kind == Value::Int) return Value::L(v.i);
    if (host::IsWord32(d.type) && v.kind == Value::Int64) return Value::I((int32_t)(uint32_t)v.l);
    return v;
}

std::vector<Interpreter::Impl::Arg> Interpreter::Impl::Args(const std::vector<Node>& nodes) {
    std::vector<Arg> args;
    for (const Node& n : nodes) {
        Arg a;
        a.col = n.col;
        if (n.kind == Node::Name && !n.call) {
            a.var = n.text;
            a.undefined = !IsVar(n.text) && !IsBuiltin(n.text) && !host.FindClass(n.text) && !host.GlobalMethod(n.text);
        }
        if (!a.undefined) a.v = Eval(n);
        args.push_back(a);
    }
    return args;
}

const host::MethodDef* Interpreter::Impl::Choose(const std::vector<const host::MethodDef*>& candidates,
                                                 const std::vector<Arg>& args, const std::string& name, int at) {
    std::string why;
    for (const host::MethodDef* m : candidates) {
        host::Decl d = host::ParseDecl(m->declaration);
        size_t required = 0;
        for (const host::Param& p : d.params) required += p.defaultText.empty();
        if (args.size() < required || args.size() > d.params.size()) {
            if (!why.empty()) continue;
            std::string count = required == d.params.size()
                                    ? std::to_string(required)
                                    : std::to_string(required) + " to " + std::to_string(d.params.size());
            why = name + " takes " + count + " argument" + (d.params.size() == 1 ? "" : "s") + ", not " +
                  std::to_string(args.size()) + " (" + m->declaration + ")";
            continue;
        }
        why.clear();
        for (size_t i = 0; i < args.size() && why.empty(); ++i) {
            const host::Param& p = d.params[i];
            std::string what = "argument " + std::to_string(i + 1) + " (" + p.name + ") of " + name;
            if (p.byref) {
                if (args[i].var.empty()) why = what + " is byref: pass a variable";
            } else if (args[i].undefined) {
                UnknownVariable(Node{Node::Name, args[i].col, args[i].var});
            } else {
                why = Misfit(args[i].v, TypeOf(p), what);
            }
        }
        if (why.empty()) return m;
        why += " (" + std::string(m->declaration) + ")";
    }
    Fail(at, why);
}

Value Interpreter::Impl::Invoke(const std::vector<const host::MethodDef*>& candidates, const std::vector<Node>& nodes,
                                const std::string& name, int at, void* self, bool needValue) {
    std::vector<Arg> args = Args(nodes);
    const host::MethodDef* m = Choose(candidates, args, name, at);
    host::Decl d = host::ParseDecl(m->declaration);
    if (needValue && d.result.empty()) Fail(at, name + " returns no value");
    valueless = d.result.empty();
    std::vector<host::ByrefSlot> slots(args.size());  // each gives back what is not taken
    std::vector<Value> values;
    for (size_t i = 0; i < args.size(); ++i) {
        const host::Param& p = d.params[i];
        if (!p.byref) {
            values.push_back(As(args[i].v, TypeOf(p)));
            continue;
        }
        // What the variable holds goes in, and must suit the parameter;
        // a variable not yet set holds 0 (or false) for a number (or a boolean).
        Value cur = IsVar(args[i].var) ? vars[Lower(args[i].var)] : Value();
        host::Type t = p.array ? host::Type::Object : host::Classify(p.type).type;
        bool number = host::IsWord32(t) || host::Is64(t) || t == host::Type::Double || t == host::Type::Single;
        if (cur.kind == Value::None && number) cur = Value::I(0);
        if (cur.kind == Value::None && t == host::Type::Boolean) cur = Value::B(false);
        std::string why = Misfit(cur, TypeOf(p), "the variable " + args[i].var + " (byref " + TypeOf(p) + ")");
        if (!why.empty()) Fail(args[i].col, why);
        slots[i] = host::ByrefSlot(host, TypeOf(p), As(cur, TypeOf(p)));
        values.push_back(slots[i].Address());
    }
    Calling(at);
    Value r = host.Call(m, values, self);
    for (size_t i = 0; i < args.size(); ++i) {
        if (!d.params[i].byref) continue;
        Value now = slots[i].Take();  // what the callee left, with the slot's reference
        if (now.kind == Value::Handle) Temp(now.h);
        Assign(args[i].var, now, slots[i].type() == host::Type::Color);
    }
    resultColor = IsColor(d.result);
    if (r.kind == Value::Handle) return Temp(r.h);
    return r;
}

Value Interpreter::Impl::CallGlobal(const Node& n, bool needValue) {
    std::vector<const host::MethodDef*> candidates;
    for (host::MethodDef* m : host.registry().methods) AddNamed(candidates, m, 1, n.text);
    if (candidates.empty()) {
        if (host::HostClass* c = host.FindClass(n.text))
            Fail(n.col, c->name + " is a class: new " + c->name + " makes one");
        if (!n.call) UnknownVariable(n);
        std::vector<std::string> names(std::begin(kBuiltins), std::end(kBuiltins));
        for (host::MethodDef* m : host.registry().methods) names.push_back(NameOf(*m));
        Fail(n.col, "unknown method " + n.text + Suggest(n.text, names));
    }
    return Invoke(candidates, n.args, n.text, n.col, nullptr, needValue);
}

namespace {

// The built-ins that let an example show what a member does over time or
// against another holder of a file or of standard input.

double Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + t.tv_nsec / 1e9;
}
double gLastElapsed = Now();  // elapsed() counts from tkzhost's start at first

// elapsed(seconds): whether that long has passed since the last elapsed();
// each call starts the count again.
bool Elapsed(double seconds) {
    double now = Now();
    bool passed = now - gLastElapsed >= seconds;
    gLastElapsed = now;
    return passed;
}

// typed(text): standard input becomes a pipe holding text whose writing end
// stays open, as a terminal where text was typed and nothing more: a read
// past the text waits. The writing end is kept until the next typed().
int gTypedEnd = -1;
bool Typed(const std::string& text) {
    int ends[2];
    if (pipe(ends) != 0) return false;
    fcntl(ends[1], F_SETFL, O_NONBLOCK);  // more than the pipe holds fails, never waits
    bool ok = write(ends[1], text.data(), text.size()) == (ssize_t)text.size() && freopen("/dev/null", "rb", stdin) &&
              dup2(ends[0], fileno(stdin)) >= 0;
    close(ends[0]);
    if (!ok) return close(ends[1]), false;
    if (gTypedEnd >= 0) close(gTypedEnd);
    gTypedEnd = ends[1];
    return true;
}

// tempfile(lock): a new empty file that tkzhost holds open until it ends,
// with a flock lock when asked, and removes then. Its path, or "".
std::vector<std::string> gTempFiles;
void RemoveTempFiles() {
    for (const std::string& f : gTempFiles) unlink(f.c_str());
}
std::string TempFile(bool lock) {
    const char* dir = getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/tkzhost-file-XXXXXX";
    int fd = mkstemp(&path[0]);
    if (fd < 0) return "";
    if (lock && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        unlink(path.c_str());
        return "";
    }
    if (gTempFiles.empty()) atexit(RemoveTempFiles);
    gTempFiles.push_back(path);
    return path;  // fd stays open, and with it the lock
}

// elapsed, tempfile and typed, each with its one argument.
Value ForExamples(Interpreter::Impl& run, const std::string& l, int col, const Interpreter::Impl::Arg& arg,
                  bool needValue) {
    const Value& a = arg.v;
    if (l == "elapsed") {
        if (a.kind != Value::Int && a.kind != Value::Double) run.Fail(arg.col, "elapsed takes a number of seconds");
        return Value::B(Elapsed(a.kind == Value::Int ? a.i : a.d));
    }
    if (l == "tempfile") {
        if (a.kind != Value::Bool) run.Fail(arg.col, "tempfile takes true (locked) or false");
        std::string path = TempFile(a.b);
        if (path.empty()) run.Fail(col, std::string("cannot make a temporary file: ") + strerror(errno));
        return run.Temp(run.host.FolderItem(path));
    }
    if (needValue) run.Fail(col, "typed returns no value");
    run.valueless = true;
    if (!run.IsString(a) && !(a.kind == Value::Handle && !a.h))
        run.Fail(arg.col, "typed takes the text standard input holds, left open");
    if (!Typed(run.host.Bytes(a.h))) run.Fail(col, "cannot make standard input a pipe of that text");
    return Value();
}

using Arg = Interpreter::Impl::Arg;

// The built-ins each take their arguments as Args made them.
void Need(Interpreter::Impl& run, const Node& n, const std::vector<Arg>& args, size_t count) {
    if (args.size() != count)
        run.Fail(n.col, n.text + " takes " + std::to_string(count) + " argument" + (count == 1 ? "" : "s"));
    for (const Arg& a : args)
        if (a.undefined) run.UnknownVariable(Node{Node::Name, a.col, a.var});
}

// folder(path): a folder item for the path, a relative one from the
// current folder.
Value Folder(Interpreter::Impl& run, const Arg& arg) {
    if (!run.IsString(arg.v)) run.Fail(arg.col, "folder takes a path string");
    std::string path = run.host.Bytes(arg.v.h);
    if (!path.empty() && path[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) path = std::string(cwd) + "/" + path;
    }
    return run.Temp(run.host.FolderItem(path));
}

// memoryblock(size) or memoryblock(bytes): a block of that many zeros, or
// holding the string's bytes.
Value Block(Interpreter::Impl& run, const Arg& arg) {
    const Value& a = arg.v;
    if (a.kind == Value::Int || a.kind == Value::Int64) {
        int64_t size = a.kind == Value::Int ? a.i : a.l;
        if (size < 0 || size > INT32_MAX) run.Fail(arg.col, "a memory block's size is 0 to 2147483647");
        void* block = run.Temp(run.host.NewMemoryBlock((int)size)).h;
        if (size > 0 && !run.host.BlockData(block))
            run.Fail(arg.col, "the host has no memory for a block of " + std::to_string(size) + " bytes");
        return Value::H(block);
    }
    if (!run.IsString(a)) run.Fail(arg.col, "memoryblock takes a size or a string of bytes");
    std::string b = run.host.Bytes(a.h);
    void* block = run.Temp(run.host.NewMemoryBlock((int)b.size())).h;
    if (!b.empty()) memcpy(run.host.BlockData(block), b.data(), b.size());
    return Value::H(block);
}

// array(...): objects (nil among them) or integers, as the host's own
// arrays hold them.
Value ArrayOf(Interpreter::Impl& run, const std::vector<Arg>& args) {
    bool numbers = !args.empty() && args[0].v.kind == Value::Int;
    for (const Arg& a : args) {
        if (a.undefined) run.UnknownVariable(Node{Node::Name, a.col, a.var});
        bool fits = numbers ? a.v.kind == Value::Int : run.IsObject(a.v) || a.v.kind == Value::None;
        if (!fits) run.Fail(a.col, "array takes objects (or nil) or integers, all of one kind");
    }
    void* array = run.Temp(run.host.NewArray(numbers ? host::kIntegerType : host::kObjectType, (int)args.size())).h;
    for (size_t i = 0; i < args.size(); ++i) run.host.SetElement(array, (int)i, args[i].v);
    return Value::H(array);
}

// tagged(bytes, encoding): the string's bytes tagged with another encoding.
Value Tagged(Interpreter::Impl& run, int col, const std::vector<Arg>& args) {
    const Value& e = args[1].v;
    bool encoding = e.kind == Value::Int || (e.kind == Value::Int64 && e.l >= 0 && e.l <= 0xFFFFFFFFll);
    if (!run.IsString(args[0].v) || !encoding) run.Fail(col, "tagged takes a string and an encoding (0 to &hFFFFFFFF)");
    uint32_t enc = e.kind == Value::Int ? (uint32_t)e.i : (uint32_t)e.l;
    return run.Temp(run.host.NewString(run.host.Bytes(args[0].v.h), enc));
}

// feed(text): standard input holds text from now on, and ends after it.
Value Feed(Interpreter::Impl& run, int col, const Arg& arg, bool needValue) {
    if (needValue) run.Fail(col, "feed returns no value");
    run.valueless = true;
    if (!run.IsString(arg.v) && !(arg.v.kind == Value::Handle && !arg.v.h))
        run.Fail(arg.col, "feed takes the text standard input holds from now on");
    std::string text = run.host.Bytes(arg.v.h);
    char tmpl[] = "/tmp/tkzhost-input-XXXXXX";
    int fd = mkstemp(tmpl);
    bool written = fd >= 0 && write(fd, text.data(), text.size()) == (ssize_t)text.size();
    if (fd >= 0) close(fd);
    // Standard input is the plugin's alone: the script is read from a
    // descriptor of its own, so reopening this one disturbs nothing.
    bool ok = written && freopen(tmpl, "rb", stdin);
    if (fd >= 0) unlink(tmpl);
    if (!ok) run.Fail(col, "cannot feed input");
    return Value();
}

}  // namespace

Value Interpreter::Impl::Builtin(const Node& n, bool needValue) {
    std::vector<Arg> args = Args(n.args);
    std::string l = Lower(n.text);
    if (l == "array") return ArrayOf(*this, args);
    Need(*this, n, args, l == "tagged" ? 2 : 1);
    if (l == "folder") return Folder(*this, args[0]);
    if (l == "memoryblock") return Block(*this, args[0]);
    if (l == "tagged") return Tagged(*this, n.col, args);
    if (l == "elapsed" || l == "tempfile" || l == "typed") return ForExamples(*this, l, n.col, args[0], needValue);
    return Feed(*this, n.col, args[0], needValue);  // the last: feed
}

}  // namespace tkzhost
