// Inside the tkzhost interpreter (script.h): what a run keeps from one
// statement to the next, and the evaluator's parts. script.cpp evaluates
// values, variables and statements; script_calls.cpp calls the plugin's
// members, fitting the arguments to their declared types, and the built-ins.
#pragma once

#include "language.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace tkzhost {

struct Interpreter::Impl {
    host::Host& host;
    Interpreter& owner;
    std::map<std::string, host::Value> vars;   // by lower-case name; each handle held with one reference
    std::map<std::string, std::string> spelt;  // the name as first written, for suggestions
    std::vector<void*> temps;                  // references produced by this statement
    std::set<std::string> colors;              // variables holding a Color, by lower-case name
    bool color = false;                        // the value Eval gave last is a Color
    bool resultColor = false;                  // the last method Invoke called returns a Color
    int col = 1;                               // where the statement is, for errors from below
    bool valueless = false;                    // the last call returned nothing

    Impl(host::Host& h, Interpreter& o) : host(h), owner(o) {}

    // A statement that cannot go on: where, and why. Run turns it into the
    // line's error.
    struct Failure {
        int col;
        std::string message;
    };
    [[noreturn]] static void Fail(int col, const std::string& message) { throw Failure{col, message}; }

    // ---- values and variables (script.cpp) ---------------------------------------
    host::Value Temp(void* h);  // a reference this statement gives back at its end
    bool IsObject(const host::Value& v);
    bool IsString(const host::Value& v);
    bool IsVar(const std::string& name);
    void Calling(int at);  // just before a call into the plugin
    void Assign(const std::string& name, const host::Value& v, bool isColor = false);
    [[noreturn]] void UnknownVariable(const Node& n);
    host::Value Eval(const Node& n, bool needValue = true);
    host::Value EvalAny(const Node& n, bool needValue, bool* isColor);
    host::Value Shared(const Node& n, host::HostClass* cls, bool needValue, bool* isColor);  // Class.Method
    host::Value MemberOf(const Node& n, bool needValue, bool* isColor);                      // object.Member
    void SetProperty(const Statement& st);
    Outcome Execute(const Statement& st, std::string* out);
    void DropTemps();

    // ---- calls (script_calls.cpp) ------------------------------------------------
    struct Arg {
        host::Value v;
        std::string var;  // a bare name, for byref parameters
        int col;
        bool undefined = false;  // a name that is nothing yet: only a byref variable
    };
    std::vector<Arg> Args(const std::vector<Node>& nodes);
    // Why v cannot be given as `type` to `what`, or "" when it can.
    std::string Misfit(const host::Value& v, const std::string& type, const std::string& what);
    // v as the host takes it for `type` (once Misfit said it fits).
    static host::Value As(host::Value v, const std::string& type);
    // The overload whose parameters the arguments fit.
    const host::MethodDef* Choose(const std::vector<const host::MethodDef*>& candidates, const std::vector<Arg>& args,
                                  const std::string& name, int at);
    host::Value Invoke(const std::vector<const host::MethodDef*>& candidates, const std::vector<Node>& nodes,
                       const std::string& name, int at, void* self, bool needValue);
    host::Value CallGlobal(const Node& n, bool needValue);
    host::Value Builtin(const Node& n, bool needValue);
};

// A method's name, from its declaration.
std::string NameOf(const host::MethodDef& m);
// Adds the entries of a method table whose name is `name` (the overloads).
void AddNamed(std::vector<const host::MethodDef*>& out, const host::MethodDef* table, uint32_t count,
              const std::string& name);

}  // namespace tkzhost
