// What the plugin's declaration texts say: "Name(byref a as string, b as
// integer = 0) as T" taken apart, and the types they name classified once,
// for every reader (the host's calls and properties, tkzhost's interpreter
// and --stress). With them, the codes by which the host names the type of a
// value at run time, in variants and arrays.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

std::string Lower(std::string s);

// One parsed declaration.
struct Param {
    bool byref = false;
    bool array = false;                   // written "name() as T": an array of T
    std::string name, type, defaultText;  // name as written, "()" included
};
struct Decl {
    std::string name, result;  // result "" for none
    std::vector<Param> params;
    bool ok = false;
    std::string error;
};
Decl ParseDecl(const std::string& text);

// A type as a declaration names it, in any case.
enum class Type {
    None,     // nothing named: a procedure without a result
    Integer,  // "integer", "int32": a signed 32-bit word
    UInt32,
    Color,  // a 32-bit word &hAARRGGBB
    Int64,
    UInt64,
    Single,
    Double,
    Boolean,
    String,
    MemoryBlock,
    FolderItem,
    Variant,
    Object,  // any object
    Class,   // any other name: a class of the plugin's or of the host's
};

struct DeclaredType {
    Type type = Type::None;
    bool array = false;  // written "T()": an array of T
    std::string name;    // lower case, without "()": the class for Type::Class
};
// "Integer", "memoryblock", "StyleDataTKZ", "string()" ...
DeclaredType Classify(const std::string& type);

// How a value of the type crosses the boundary: in one 32-bit word (integer,
// uint32, color), in two (int64, uint64), or as a handle (strings, objects,
// variants and classes: a reference the host counts).
bool IsWord32(Type t);
bool Is64(Type t);
bool IsHandle(Type t);

// The host's codes for the type of a value at run time: what a variant says
// it holds, and the element type of an array (an array in a variant says
// kArrayType plus its element's code).
enum TypeCode : int32_t {
    kNilType = 0,
    kIntegerType = 2,
    kInt64Type = 3,
    kSingleType = 4,
    kDoubleType = 5,
    kStringType = 8,
    kObjectType = 9,
    kBooleanType = 11,
    kColorType = 16,
    kArrayType = 0x1000,
};
// The element code of an array of `t`: every 32-bit word (colors too) is an
// integer element, anything held by reference an object element.
TypeCode ElementCode(Type t);

}  // namespace host
