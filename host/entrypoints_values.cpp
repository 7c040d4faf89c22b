// What the entry points for properties by name, variants and arrays do
// (entrypoints.def names them; each call is counted before it gets here),
// and the element procedures the host hands out per array.
#include "entrypoints.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

namespace host::entries {

namespace {

double NumberOf(const Value& v) {
    switch (v.kind) {
        case Value::Int: return v.i;
        case Value::Int64: return (double)v.l;
        case Value::Double: return v.d;
        case Value::Bool: return v.b;
        default: return 0;
    }
}
int64_t IntegerOf(const Value& v) {
    switch (v.kind) {
        case Value::Int: return v.i;
        case Value::Int64: return v.l;
        case Value::Double: return (int64_t)v.d;
        case Value::Bool: return v.b;
        default: return 0;
    }
}

}  // namespace

// ---- properties by name ---------------------------------------------------

template <class T>
bool GetPropValue(Who who, void* o, const char* name, T* out) {
    if (!o || !name || !H().Check(o, who)) return false;
    Value v = H().GetProp(o, name);
    if (v.kind == Value::None) return false;
    if constexpr (std::is_pointer_v<T>) {
        if (v.kind != Value::Handle) return false;
        *out = (T)v.h;
    } else if constexpr (std::is_floating_point_v<T>) {
        *out = (T)NumberOf(v);
    } else {
        *out = (T)IntegerOf(v);
    }
    return true;
}
// The types of the rows of entrypoints.def that read properties.
template bool GetPropValue(Who, void*, const char*, long*);
template bool GetPropValue(Who, void*, const char*, void**);
template bool GetPropValue(Who, void*, const char*, double*);
template bool GetPropValue(Who, void*, const char*, long long*);
template bool GetPropValue(Who, void*, const char*, unsigned long long*);
template bool GetPropValue(Who, void*, const char*, unsigned long*);
template bool GetPropValue(Who, void*, const char*, unsigned short*);
template bool GetPropValue(Who, void*, const char*, short*);
template bool GetPropValue(Who, void*, const char*, char*);
template bool GetPropValue(Who, void*, const char*, unsigned char*);
template bool GetPropValue(Who, void*, const char*, float*);

namespace {
bool SetPropValue(Who who, void* o, const char* name, const Value& v) {
    if (!o || !name || !H().Check(o, who)) return false;
    H().SetProp(o, name, v);
    return true;
}
}  // namespace

bool SetPropInt(Who who, void* o, const char* n, long v) { return SetPropValue(who, o, n, Value::I(v)); }
bool SetPropHandle(Who who, void* o, const char* n, void* v) { return SetPropValue(who, o, n, Value::H(v)); }
bool SetPropDouble(Who who, void* o, const char* n, double v) { return SetPropValue(who, o, n, Value::D(v)); }
bool SetPropUInt32(Who who, void* o, const char* n, unsigned long v) {
    return SetPropValue(who, o, n, Value::I((int32_t)v));
}
bool SetPropUInt64(Who who, void* o, const char* n, unsigned long long v) {
    return SetPropValue(who, o, n, Value::L((int64_t)v));
}
bool SetPropInt64(Who who, void* o, const char* n, long long v) { return SetPropValue(who, o, n, Value::L(v)); }
bool SetPropBoolean(Who who, void* o, const char* n, unsigned long v) {
    H().recorded[who.name] = {(uint32_t)v};
    return SetPropValue(who, o, n, Value::B(v != 0));
}

// ---- variants -------------------------------------------------------------

long VarTypeOf(Who who, void* v) {
    if (v == nullptr) return kNilType;
    if (!H().Check(v, who)) return kNilType;
    if (IsString(v)) return kStringType;
    HostClass* c = ClassOfObject(v);
    if (c->kind == kVariant) return PayloadOf<VariantPayload>(v)->type;
    if (c->kind == kArray) return kArrayType + PayloadOf<ArrayPayload>(v)->type;
    return kObjectType;
}

void* StringToVariant(StringRec* s) { return H().NewVariant(kStringType, Value::H(s)); }
void* Int32ToVariant(long v) { return H().NewVariant(kIntegerType, Value::I(v)); }
void* DoubleToVariant(double v) { return H().NewVariant(kDoubleType, Value::D(v)); }
void* BooleanToVariant(unsigned long v) { return H().NewVariant(kBooleanType, Value::B(v != 0)); }
void* ColorToVariant(long v) { return H().NewVariant(kColorType, Value::I(v)); }
void* UInt32ToVariant(unsigned long v) { return H().NewVariant(kIntegerType, Value::I((int32_t)v)); }
void* Int64ToVariant(long long v) { return H().NewVariant(kInt64Type, Value::L(v)); }
void* UInt64ToVariant(unsigned long long v) { return H().NewVariant(kInt64Type, Value::L((int64_t)v)); }
void* SingleToVariant(float v) { return H().NewVariant(kSingleType, Value::D(v)); }

namespace {
VariantPayload* VariantOf(void* v) { return KindIs(v, kVariant) ? PayloadOf<VariantPayload>(v) : nullptr; }
void* VariantHandle(void* v, bool wantString) {
    VariantPayload* p = VariantOf(v);
    if (!p || p->value.kind != Value::Handle || !p->value.h || IsString(p->value.h) != wantString) return nullptr;
    H().Lock(p->value.h);
    return p->value.h;
}
}  // namespace

unsigned long VariantHash(void* v) {
    VariantPayload* p = VariantOf(v);
    return p ? (unsigned long)(IntegerOf(p->value) * 2654435761u) : 0;
}
float VariantToSingle(void* v) {
    VariantPayload* p = VariantOf(v);
    return p ? (float)NumberOf(p->value) : 0.0f;
}
double VariantToDouble(void* v) {
    VariantPayload* p = VariantOf(v);
    return p ? NumberOf(p->value) : 0.0;
}
bool VariantToBoolean(void* v) {
    VariantPayload* p = VariantOf(v);
    return p && NumberOf(p->value) != 0;
}
long long VariantToInt64(void* v) {
    VariantPayload* p = VariantOf(v);
    return p ? IntegerOf(p->value) : 0;
}
long VariantToInt32(void* v) {
    VariantPayload* p = VariantOf(v);
    return p ? (long)IntegerOf(p->value) : 0;
}
void* VariantToString(void* v) { return VariantHandle(v, true); }
void* VariantToObject(void* v) { return VariantHandle(v, false); }

// ---- arrays -----------------------------------------------------------------

namespace {

ArrayPayload* ArrayOf(void* a, const char* who) {
    if (!Given(Who{who}, a) || !H().Check(a, who) || !KindIs(a, kArray)) return nullptr;
    return PayloadOf<ArrayPayload>(a);
}
char* ElementAt(void* a, long i, const char* who) {
    ArrayPayload* p = ArrayOf(a, who);
    if (!p) return nullptr;
    if (i < 0 || i >= p->count) {
        H().violations.push_back({Violation::OutOfBounds, who, "index " + std::to_string(i)});
        return nullptr;
    }
    return (char*)((ObjectHeader*)a)->storage + (size_t)ElementSize(p->type) * (size_t)i;
}
template <class T>
T ReadElement(void* a, long i, const char* who) {
    T v{};
    if (char* at = ElementAt(a, i, who)) memcpy(&v, at, sizeof v);
    return v;
}

// Element procedures the host hands out per array.
template <class T>
T GetElement(void* a, long i) {
    return ReadElement<T>(a, i, "array get");
}
void* GetHandleElement(void* a, long i) {
    void* h = ReadElement<void*>(a, i, "array get");
    if (h) H().Lock(h);
    return h;
}
template <class T>
void SetElementProc(void* a, T v, long i) {
    if (char* at = ElementAt(a, i, "array set")) memcpy(at, &v, sizeof v);
}
void SetHandleElement(void* a, void* v, long i) {
    if (ElementAt(a, i, "array set")) H().SetElement(a, (int)i, Value::H(v));
}
void InsertIntElement(void* a, long i, long v) {
    ArrayPayload* p = ArrayOf(a, "array insert");
    if (!p || i < 0 || i > p->count) return;
    ObjectHeader* o = (ObjectHeader*)a;
    char* grown = (char*)realloc(o->storage, 4 * (size_t)(p->count + 1));
    memmove(grown + 4 * (i + 1), grown + 4 * i, 4 * (size_t)(p->count - i));
    memcpy(grown + 4 * i, &v, 4);
    o->storage = grown;
    ++p->count;
}

}  // namespace

long UBound(Who who, void* a) {
    ArrayPayload* p = ArrayOf(a, who);
    return p ? p->count - 1 : -1;
}
void* CreateArray(long type, long ubound) { return ubound < -1 ? nullptr : H().NewArray((int)type, (int)ubound + 1); }
long DirectReadInt(Who who, void* a, int i) { return ReadElement<long>(a, i, who); }
void* DirectReadHandle(Who who, void* a, int i) {
    void* h = ReadElement<void*>(a, i, who);
    if (h) H().Lock(h);
    return h;
}
void* GetProcFinder(Who who, void* a) {
    ArrayPayload* p = ArrayOf(a, who);
    if (!p) return nullptr;
    switch (p->type) {
        case kInt64Type: return (void*)&GetElement<long long>;
        case kDoubleType: return (void*)&GetElement<double>;
        case kBooleanType: return (void*)&GetElement<unsigned char>;
        case kStringType:
        case kObjectType: return (void*)&GetHandleElement;
        default: return (void*)&GetElement<long>;
    }
}
void* SetProcFinder(Who who, void* a) {
    ArrayPayload* p = ArrayOf(a, who);
    if (!p) return nullptr;
    switch (p->type) {
        case kInt64Type: return (void*)&SetElementProc<long long>;
        case kDoubleType: return (void*)&SetElementProc<double>;
        case kStringType:
        case kObjectType: return (void*)&SetHandleElement;
        case kBooleanType: return nullptr;
        default: return (void*)&SetElementProc<long>;
    }
}
void* InsertProcFinder(Who who, void* a) {
    ArrayPayload* p = ArrayOf(a, who);
    return p && p->type == kIntegerType ? (void*)&InsertIntElement : nullptr;
}

}  // namespace host::entries
