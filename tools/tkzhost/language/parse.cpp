// The statement parser: a lexer that reads numbers strictly (no library
// call that throws or stops at the first odd byte, so "1.2.3" and
// "99999999999999999999" are errors, not 1.2 or an abort) and a
// recursive-descent parser with a depth limit, so that no line can exhaust
// the stack.
#include "language.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tkzhost {

namespace {

struct Failure {
    int col;
    std::string message;
};

[[noreturn]] void Fail(int col, const std::string& message) { throw Failure{col, message}; }

struct Token {
    enum Kind { End, Ident, Int, Double, String, Bytes, Punct } kind = End;
    std::string text;
    int64_t i = 0;
    double d = 0;
    int col = 1;
};

bool Alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool Digit(char c) { return c >= '0' && c <= '9'; }
bool Alnum(char c) { return Alpha(c) || Digit(c); }
int HexDigit(char c) {
    if (Digit(c)) return c - '0';
    c = (char)(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}
char Low(char c) { return c >= 'A' && c <= 'Z' ? (char)(c + 32) : c; }

// The length of the UTF-8 sequence at s[i], 0 when it is none.
size_t Utf8Length(const std::string& s, size_t i) {
    unsigned char c = (unsigned char)s[i];
    if (c < 0x80) return 1;
    size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if (((unsigned char)s[i + k] & 0xC0) != 0x80) return 0;
    unsigned char d = (unsigned char)s[i + 1];
    if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d > 0x9F) || (c == 0xF0 && d < 0x90) || (c == 0xF4 && d > 0x8F))
        return 0;  // overlong forms, surrogates, past U+10FFFF
    return n;
}

Token Number(const std::string& line, size_t* at) {
    size_t i = *at, j = i;
    Token t;
    t.col = (int)i + 1;
    while (j < line.size() && Digit(line[j])) ++j;
    bool real = false;
    if (j < line.size() && line[j] == '.') {
        real = true;
        ++j;
        while (j < line.size() && Digit(line[j])) ++j;
    }
    if (j < line.size() && Low(line[j]) == 'e') {
        size_t k = j + 1;
        if (k < line.size() && (line[k] == '+' || line[k] == '-')) ++k;
        if (k < line.size() && Digit(line[k])) {
            real = true;
            j = k;
            while (j < line.size() && Digit(line[j])) ++j;
        }
    }
    std::string text = line.substr(i, j - i);
    if (j < line.size() && (Alnum(line[j]) || line[j] == '.')) {
        while (j < line.size() && (Alnum(line[j]) || line[j] == '.')) ++j;
        Fail(t.col, "malformed number " + line.substr(i, j - i));
    }
    errno = 0;
    if (real) {
        t.kind = Token::Double;
        t.d = strtod(text.c_str(), nullptr);
        if (std::isinf(t.d)) Fail(t.col, "number out of range: " + text);
    } else {
        t.kind = Token::Int;
        unsigned long long v = strtoull(text.c_str(), nullptr, 10);
        if (errno == ERANGE || v > (unsigned long long)INT64_MAX) Fail(t.col, "number out of range: " + text);
        t.i = (int64_t)v;
    }
    *at = j;
    return t;
}

// ASCII only, under any locale: the language's own words are ASCII, and the
// parser uses nothing of the host's (host::Lower folds as the C library does).
std::string Lower(std::string s) {
    for (char& c : s) c = Low(c);
    return s;
}

const char kOneStatement[] =
    "tkzhost runs one statement per line (print, NAME = VALUE, OBJECT.Property = VALUE, a call, help, quit)";
const char kNoOperators[] =
    "tkzhost has no operators (no arithmetic, comparisons or joined strings); print takes several values: "
    "print a, b";

// "text" ("" for a quote) or &b"48 69" (hexadecimal bytes), from line[*at].
Token Quoted(const std::string& line, size_t* at) {
    Token t;
    t.col = (int)*at + 1;
    bool bytes = line[*at] == '&';
    size_t i = *at + (bytes ? 3 : 1);
    std::string s;
    for (;; s += line[i++]) {
        if (i >= line.size()) Fail(t.col, "unterminated string");
        if (line[i] != '"') continue;
        if (i + 1 >= line.size() || line[i + 1] != '"') break;
        ++i;  // "" is one quote
    }
    *at = i + 1;
    t.kind = bytes ? Token::Bytes : Token::String;
    if (!bytes) return t.text = s, t;
    int high = -1;
    for (char h : s) {
        if (h == ' ' || h == '\t') continue;
        int v = HexDigit(h);
        if (v < 0) Fail(t.col, "byte strings hold hexadecimal digits");
        if (high < 0) high = v;
        else t.text += (char)(high * 16 + v), high = -1;
    }
    if (high >= 0) Fail(t.col, "byte strings hold whole bytes (two digits each)");
    return t;
}

// &hFF, from line[*at].
Token Hex(const std::string& line, size_t* at) {
    Token t;
    t.col = (int)*at + 1;
    size_t j = *at + 2;
    uint64_t v = 0;
    int digits = 0;
    for (; j < line.size() && HexDigit(line[j]) >= 0; ++j, ++digits) {
        if (v >> 60) Fail(t.col, "number out of range: more than 64 bits");
        v = v * 16 + (uint64_t)HexDigit(line[j]);
    }
    if (digits == 0) Fail(t.col, "&h needs hexadecimal digits");
    if (j < line.size() && (Alnum(line[j]) || line[j] == '.')) {
        while (j < line.size() && (Alnum(line[j]) || line[j] == '.')) ++j;
        Fail(t.col, "malformed number " + line.substr(*at, j - *at));
    }
    t.kind = Token::Int;
    // As BASIC programmers write them: &hFFFFFFFF is the 32-bit pattern -1.
    t.i = v <= 0xFFFFFFFFull ? (int64_t)(int32_t)(uint32_t)v : (int64_t)v;
    *at = j;
    return t;
}

// A character the language has no use for; BASIC's operators and statement
// separator say what to write instead.
[[noreturn]] void Unexpected(const std::string& line, size_t i) {
    char c = line[i];
    size_t n = Utf8Length(line, i);
    std::string shown = n > 1 ? line.substr(i, n) : Escape(std::string(1, c));
    std::string hint = c && strchr("+*/\\^<>&", c) ? std::string(": ") + kNoOperators
                       : c == ':'                  ? std::string(": ") + kOneStatement
                                                   : "";
    Fail((int)i + 1, "unexpected character '" + shown + "'" + hint);
}

std::vector<Token> Lex(const std::string& line) {
    std::vector<Token> out;
    for (size_t i = 0; i < line.size();) {
        char c = line[i];
        bool more = i + 1 < line.size();
        Token t;
        t.col = (int)i + 1;
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '\'') break;  // a comment to the end of the line
        if (c == '"' || (c == '&' && i + 2 < line.size() && Low(line[i + 1]) == 'b' && line[i + 2] == '"')) {
            t = Quoted(line, &i);
        } else if (c == '&' && more && Low(line[i + 1]) == 'h') {
            t = Hex(line, &i);
        } else if (Digit(c) || (c == '.' && more && Digit(line[i + 1]))) {
            t = Number(line, &i);
        } else if (Alpha(c)) {
            size_t j = i;
            while (j < line.size() && Alnum(line[j])) ++j;
            t.kind = Token::Ident;
            t.text = line.substr(i, j - i);
            i = j;
            if (out.empty() && Lower(t.text) == "rem") break;  // BASIC's other comment
        } else if (c && strchr("(),.=-", c)) {
            t.kind = Token::Punct;
            t.text = std::string(1, c);
            ++i;
        } else {
            Unexpected(line, i);
        }
        out.push_back(t);
    }
    Token end;
    end.col = (int)line.size() + 1;
    out.push_back(end);
    return out;
}

const int kMaxDepth = 64;

struct Parser {
    std::vector<Token> toks;
    size_t pos = 0;
    int depth = 0;

    const Token& Peek(size_t ahead = 0) const { return toks[std::min(pos + ahead, toks.size() - 1)]; }
    bool Is(const char* punct, size_t ahead = 0) const {
        return Peek(ahead).kind == Token::Punct && Peek(ahead).text == punct;
    }
    bool IsWord(const char* word) const { return Peek().kind == Token::Ident && Lower(Peek().text) == word; }
    void Expect(const char* punct) {
        if (!Is(punct)) Fail(Peek().col, std::string("expected '") + punct + "'");
        ++pos;
    }

    std::vector<Node> Args() {
        std::vector<Node> args;
        ++pos;  // (
        if (Is(")")) {
            ++pos;
            return args;
        }
        for (;;) {
            args.push_back(Expr());
            if (Is(",")) {
                ++pos;
                continue;
            }
            Expect(")");
            return args;
        }
    }

    // A name, true, false, nil or new Class, its token just taken.
    Node Word(const Token& t) {
        Node n;
        n.col = t.col;
        std::string l = Lower(t.text);
        if (l == "true" || l == "false") {
            n.kind = Node::Bool;
            n.b = l == "true";
        } else if (l == "nil") {
            n.kind = Node::Nil;
        } else if (l == "new") {
            if (Peek().kind != Token::Ident) Fail(Peek().col, "new takes a class name");
            n.kind = Node::New;
            n.col = Peek().col;
            n.text = toks[pos++].text;
        } else if (!NotRun(t.text).empty()) {
            Fail(t.col, t.text + ": " + NotRun(t.text));
        } else if (IsKeyword(t.text)) {
            Fail(t.col, t.text + " is a statement, not a value");
        } else {
            n.kind = Node::Name;
            n.text = t.text;
            if (Is("(")) n.call = true, n.args = Args();
        }
        return n;
    }

    Node Primary() {
        if (++depth > kMaxDepth) Fail(Peek().col, "too deeply nested");
        const Token t = Peek();
        ++pos;
        Node n;
        n.col = t.col;
        switch (t.kind) {
            case Token::Int:
                n.kind = Node::Int;
                n.i = t.i;
                break;
            case Token::Double:
                n.kind = Node::Double;
                n.d = t.d;
                break;
            case Token::String:
                n.kind = Node::String;
                n.text = t.text;
                break;
            case Token::Bytes:
                n.kind = Node::Bytes;
                n.text = t.text;
                break;
            case Token::End: Fail(t.col, "expected a value");
            case Token::Punct:
                if (t.text == "-") {
                    n.kind = Node::Neg;
                    n.target = std::make_unique<Node>(Postfix(Primary()));
                } else if (t.text == "(") {
                    n = Expr();
                    Expect(")");
                } else {
                    Fail(t.col, "unexpected '" + t.text + "'");
                }
                break;
            case Token::Ident: n = Word(t); break;
        }
        --depth;
        return n;
    }

    Node Postfix(Node n) {
        for (int length = 0; Is("."); ++length) {
            // Members nest in the tree too: a chain is as deep as it is long.
            if (length >= kMaxDepth * 4) Fail(Peek().col, "too long a chain of members");
            ++pos;
            if (Peek().kind != Token::Ident) Fail(Peek().col, "expected a member name");
            Node m;
            m.kind = Node::Member;
            m.col = Peek().col;
            m.text = toks[pos++].text;
            m.target = std::make_unique<Node>(std::move(n));
            if (Is("(")) m.call = true, m.args = Args();
            n = std::move(m);
        }
        return n;
    }

    Node Expr() {
        if (++depth > kMaxDepth) Fail(Peek().col, "too deeply nested");
        Node n = Postfix(Primary());
        --depth;
        return n;
    }

    void Print(tkzhost::Statement* st) {
        st->kind = Statement::Print;
        ++pos;
        if (Peek().kind != Token::End)
            for (;;) {
                st->values.push_back(Expr());
                if (!Is(",")) break;
                ++pos;
            }
    }

    // help, help NAME, help Class.NAME, help "words"; false for anything else.
    bool Help(tkzhost::Statement* st) {
        if (!IsWord("help")) return false;
        const Token& name = Peek(1);
        bool dotted = name.kind == Token::Ident && Is(".", 2) && Peek(3).kind == Token::Ident;
        bool named = name.kind == Token::Ident || name.kind == Token::String;
        size_t length = name.kind == Token::End ? 1 : dotted ? 4 : 2;
        if ((name.kind != Token::End && !named) || Peek(length).kind != Token::End) return false;
        st->kind = Statement::Help;
        st->nameCol = name.col;
        if (name.kind != Token::End) st->name = name.text + (dotted ? "." + Peek(3).text : "");
        pos += length;
        return true;
    }

    void Assignment(tkzhost::Statement* st) {
        Node n = Expr();
        if (!Is("=")) {
            st->kind = Statement::Expression;
            st->values.push_back(std::move(n));
            return;
        }
        int eq = Peek().col;
        ++pos;
        if (n.kind == Node::Name && !n.call) {
            if (IsKeyword(n.text) || IsBuiltin(n.text)) Fail(n.col, n.text + " is a keyword");
            st->kind = Statement::Assign;
        } else if (n.kind == Node::Member && !n.call) {
            st->kind = Statement::SetProperty;
            st->target = std::move(n.target);
        } else {
            Fail(eq, "only variables and properties take a value with =");
        }
        st->name = n.text;
        st->nameCol = n.col;
        st->values.push_back(Expr());
    }

    void Statement(tkzhost::Statement* st) {
        st->col = Peek().col;
        if (Peek().kind == Token::End) return;
        if (Peek().kind == Token::Ident && !NotRun(Peek().text).empty())
            Fail(Peek().col, Peek().text + ": " + NotRun(Peek().text));
        if (IsWord("print") && !Is("=", 1)) {
            Print(st);
        } else if ((IsWord("quit") || IsWord("exit")) && Peek(1).kind == Token::End) {
            st->kind = Statement::Quit;
            ++pos;
        } else if (!Help(st)) {
            Assignment(st);
        }
        const Token& t = Peek();
        if (t.kind == Token::End) return;
        // Binary operators, as BASIC writes them.
        if ((t.kind == Token::Punct && (t.text == "-" || t.text == "=")) ||
            (t.kind == Token::Ident && NotRun(t.text) == kNoOperators))
            Fail(t.col, "unexpected '" + t.text + "': " + kNoOperators);
        Fail(t.col, "unexpected text after the statement");
    }
};

}  // namespace

bool Parse(const std::string& line, Statement* statement, ParseError* error) {
    *statement = Statement();
    try {
        Parser p;
        p.toks = Lex(line);
        p.Statement(statement);
        return true;
    } catch (const Failure& f) {
        *error = ParseError{f.col, f.message};
    } catch (const std::bad_alloc&) {
        *error = ParseError{1, "out of memory"};
    }
    *statement = Statement();
    return false;
}

std::string NotRun(const std::string& word) {
    // BASIC's words that tkzhost leaves out, by what they are for.
    static const char* const kLeftOut[][2] = {
        {" for to step next while wend do loop until continue ", "loops are not part of it"},
        {" if then else elseif end select case ", "conditions are not part of it"},
        {" dim redim var const static as ", "variables need no declaration: NAME = VALUE makes one"},
        {" call ", "a method is called by its name alone: Method(VALUE, ...)"},
        {" sub function return goto gosub try catch ", "procedures and jumps are not part of it"},
    };
    std::string l = " " + Lower(word) + " ";
    if (std::string(" and or not xor mod ").find(l) != std::string::npos) return kNoOperators;
    for (auto& [words, why] : kLeftOut)
        if (strstr(words, l.c_str())) return std::string(kOneStatement) + "; " + why;
    return "";
}

bool IsKeyword(const std::string& name) {
    std::string l = Lower(name);
    for (const char* k : {"print", "new", "help", "quit", "exit", "true", "false", "nil"})
        if (l == k) return true;
    return false;
}

const char* const kBuiltins[8] = {"folder", "memoryblock", "tagged", "feed", "array", "elapsed", "typed", "tempfile"};

bool IsBuiltin(const std::string& name) {
    std::string l = Lower(name);
    for (const char* b : kBuiltins)
        if (l == b) return true;
    return false;
}

std::string Escape(const std::string& bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size();) {
        unsigned char c = (unsigned char)bytes[i];
        size_t n = Utf8Length(bytes, i);
        if (c >= 0x20 && c != 0x7F && n > 0) {
            out.append(bytes, i, n);
            i += n;
            continue;
        }
        static const char hex[] = "0123456789ABCDEF";
        out += "\\x";
        out += hex[c >> 4];
        out += hex[c & 15];
        ++i;
    }
    return out;
}

size_t FirstNonText(const std::string& bytes) {
    for (size_t i = 0; i < bytes.size();) {
        size_t n = bytes[i] == 0 ? 0 : Utf8Length(bytes, i);
        if (n == 0) return i;
        i += n;
    }
    return std::string::npos;
}

}  // namespace tkzhost
