// The emulated host's state: the ledger of strings and objects with their
// reference counts, string records and conversions, objects of the plugin's
// and the host's own classes, and the order of destruction.
#include "host.h"
#include "internals.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iconv.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define TKZ_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define TKZ_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define TKZ_POISON(p, n) ((void)(p), (void)(n))
#define TKZ_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace emu {

static Host* gCurrent = nullptr;

std::string Lower(std::string s) {
    for (char& c : s) c = (char)tolower((unsigned char)c);
    return s;
}

Host::Host(Config config) : config_(std::move(config)), callCounts_(CountedCalls(), 0) {
    gCurrent = this;
    DefineClass("Object", "");
    DefineClass("FolderItem")->kind = kFolderItem;
    DefineClass("MemoryBlock")->kind = kMemoryBlock;
    DefineClass("Array")->kind = kArray;
    DefineClass("Variant")->kind = kVariant;
    DefineClass("RuntimeException")->kind = kException;
    DefineClass("NilObjectException", "RuntimeException")->kind = kException;
    DefineClass("OutOfBoundsException", "RuntimeException")->kind = kException;
}

Host::~Host() {
    for (void* e : raised) Unlock(e);
    raised.clear();
    DrainDestructions();
    // Released records stay poisoned while the host lives so that a late
    // read is caught; give them back now.
    for (void* p : graveyard_) {
        TKZ_UNPOISON(p, ledger[p].size);
        free(p);
    }
    if (gCurrent == this) gCurrent = nullptr;
}

Host& Host::Current() {
    if (gCurrent == nullptr) abort();
    return *gCurrent;
}

bool Host::CountCall(const char* name) {
    int i = CallIndex(name);
    if (i < 0) {
        violations.push_back(std::string("a call the host does not count: ") + name);
        return true;
    }
    int n = ++callCounts_[i];
    if (config_.logCalls) calls.push_back(name);
    if (config_.failAfter.empty()) return true;
    auto it = config_.failAfter.find(name);
    return it == config_.failAfter.end() || n <= it->second;
}

int Host::CallCount(const std::string& name) const {
    int i = CallIndex(name.c_str());
    return i < 0 ? 0 : callCounts_[i];
}

// ---- ledger ---------------------------------------------------------------

Host::Entry* Host::Check(const void* h, const char* who) {
    if (h == nullptr) return nullptr;
    auto it = ledger.find(h);
    if (it == ledger.end()) {
        violations.push_back(std::string(who) + ": unknown handle");
        return nullptr;
    }
    if (it->second.released) {
        violations.push_back(std::string(who) + ": used after release: " + it->second.what);
        return nullptr;
    }
    return &it->second;
}

void Host::Lock(const void* h) {
    if (Entry* e = Check(h, "lock")) ++e->refs;
}

void Host::Unlock(const void* h) {
    Entry* e = Check(h, "unlock");
    if (e == nullptr) return;
    if (e->refs <= 0) {
        violations.push_back("released more often than locked: " + e->what);
        return;
    }
    if (--e->refs == 0) ReleaseNow((void*)h);
}

void Host::StoreHandle(void* slot, void* handle) {
    void* old;
    memcpy(&old, slot, 4);
    if (handle) Lock(handle);
    if (old) Unlock(old);
    memcpy(slot, &handle, 4);
}

int Host::RefCount(const void* h) const {
    auto it = ledger.find(h);
    if (it == ledger.end() || it->second.released) return -1;
    return it->second.refs;
}

bool Host::Alive(const void* h) const { return RefCount(h) > 0; }

std::vector<Leak> Host::LiveSince(uint64_t mark) const {
    std::vector<Leak> out;
    for (auto& [h, e] : ledger)
        if (!e.released && e.serial > mark) out.push_back({h, e.what + " (" + std::to_string(e.refs) + " refs)"});
    return out;
}

void Host::ReleaseNow(void* h) {
    pendingDestroy_.push_back(h);
    DrainDestructions();
}

// Destruction runs from a work list, never recursively, so that a chain of a
// million parents or a destructor that releases more objects cannot exhaust
// the stack.
void Host::DrainDestructions() {
    if (destroying_) return;
    destroying_ = true;
    while (!pendingDestroy_.empty()) {
        void* h = pendingDestroy_.back();
        pendingDestroy_.pop_back();
        Destroy(h);
    }
    destroying_ = false;
}

void Host::Destroy(void* h) {
    Entry& e = ledger[h];
    if (e.object) {
        ObjectHeader* o = (ObjectHeader*)h;
        HostClass* cls = o->cls;
        if (cls->kind == kPluginObject) {
            if (cls->def != nullptr && cls->def->destructor != nullptr)
                ((void (*)(void*))cls->def->destructor)(h);
        } else {
            DestroyPayload(*this, o);
        }
    }
    Bury(h, e);
}

void Host::Bury(void* h, Entry& e) {
    e.released = true;
    e.refs = 0;
    if (!e.object) {
        StringRec* s = (StringRec*)h;
        free(s->buffer);
        s->buffer = nullptr;  // a late read of the text faults in plain builds
    }
    if (config_.reallyFree) {
        ledger.erase(h);
        free(h);
        return;
    }
    TKZ_POISON(h, e.size);
    graveyard_.push_back(h);
}

// ---- strings --------------------------------------------------------------

StringRec* Host::NewString(const std::string& bytes, uint32_t encoding) {
    StringRec* s = (StringRec*)calloc(1, sizeof(StringRec));
    // Exactly one leading byte, the text and its NUL: a read past the text
    // and its terminator is caught by AddressSanitizer.
    s->buffer = (char*)malloc(bytes.size() + 2);
    s->buffer[0] = 0;
    memcpy(s->buffer + 1, bytes.data(), bytes.size());
    s->buffer[bytes.size() + 1] = 0;
    s->magic = kStringMagic;
    s->serial = (uint32_t)++serial_;
    s->length = (int32_t)bytes.size();
    s->encoding = encoding;
    Entry& e = ledger[s];
    e = Entry();
    e.refs = 1;
    e.serial = serial_;
    e.size = sizeof(StringRec);
    e.what = "string #" + std::to_string(serial_) + " \"" + bytes.substr(0, 40) + "\"";
    return s;
}

std::string Host::Bytes(const void* s) {
    if (s == nullptr) return "";
    if (Check(s, "read string") == nullptr) return "";
    const StringRec* r = (const StringRec*)s;
    return std::string(r->buffer + 1, (size_t)r->length);
}

uint32_t Host::Encoding(const void* s) {
    if (s == nullptr || Check(s, "read encoding") == nullptr) return 0;
    return ((const StringRec*)s)->encoding;
}

namespace {

const char* IconvName(uint32_t enc) {
    switch (enc) {
    case kMacRoman: return "MACINTOSH";
    case kUTF16: return "UTF-16LE";
    case kWindows: return "CP1252";
    case kASCII: return "ASCII";
    case kUTF8: return "UTF-8";
    case kUTF32: return "UTF-32LE";
    default: return nullptr;
    }
}

int UnitOf(uint32_t enc) { return enc == kUTF16 ? 2 : enc == kUTF32 ? 4 : 1; }

// Source text to code points; a byte sequence that is not valid in the source
// encoding becomes '?' and is skipped one unit at a time.
std::vector<uint32_t> Decode(const std::string& in, uint32_t enc) {
    std::vector<uint32_t> out;
    iconv_t cd = iconv_open("UTF-32LE", IconvName(enc));
    if (cd == (iconv_t)-1) return out;
    size_t pos = 0, unit = (size_t)UnitOf(enc);
    std::vector<char> buf(in.size() * 4 + 16);
    while (pos < in.size()) {
        char* src = (char*)in.data() + pos;
        size_t srcLeft = in.size() - pos;
        char* dst = buf.data();
        size_t dstLeft = buf.size();
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        size_t produced = (size_t)(dst - buf.data()) / 4;
        for (size_t i = 0; i < produced; ++i) {
            uint32_t u;
            memcpy(&u, buf.data() + 4 * i, 4);
            out.push_back(u);
        }
        pos = in.size() - srcLeft;
        if (r == (size_t)-1) {
            out.push_back('?');
            pos += unit;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

// Code points to the target encoding; a character the target cannot hold
// becomes '?'.
std::string Encode(const std::vector<uint32_t>& cps, uint32_t enc) {
    std::string out;
    iconv_t cd = iconv_open(IconvName(enc), "UTF-32LE");
    if (cd == (iconv_t)-1) return out;
    for (uint32_t cp : cps) {
        char in[4];
        memcpy(in, &cp, 4);
        char outBuf[16];
        char* src = in;
        size_t srcLeft = 4;
        char* dst = outBuf;
        size_t dstLeft = sizeof outBuf;
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == (size_t)-1) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            uint32_t q = '?';
            memcpy(in, &q, 4);
            src = in, srcLeft = 4, dst = outBuf, dstLeft = sizeof outBuf;
            iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        }
        out.append(outBuf, (size_t)(dst - outBuf));
    }
    iconv_close(cd);
    return out;
}

}  // namespace

StringRec* Host::Convert(StringRec* s, uint32_t encoding) {
    if (s == nullptr || Check(s, "REALConvertString") == nullptr) return nullptr;
    std::string bytes = Bytes(s);
    std::string out;
    if (s->encoding == encoding || s->encoding == kRaw || encoding == kRaw || IconvName(s->encoding) == nullptr) {
        out = bytes;  // same encoding, or raw bytes: passed through under the new tag
    } else if (IconvName(encoding) == nullptr) {
        return nullptr;
    } else {
        out = Encode(Decode(bytes, s->encoding), encoding);
    }
    if (encoding == kUTF16 && (config_.utf16Bom || config_.utf16SwappedBom)) {
        out.insert(0, config_.utf16SwappedBom ? std::string("\xFE\xFF", 2) : std::string("\xFF\xFE", 2));
    }
    return NewString(out, encoding);
}

// ---- objects --------------------------------------------------------------

HostClass* Host::DefineClass(const std::string& name, const std::string& parent) {
    auto& slot = classes_[Lower(name)];
    if (!slot) slot = std::make_unique<HostClass>();
    slot->name = name;
    slot->kind = kPlainObject;
    slot->parent = parent.empty() ? nullptr : FindClass(parent);
    return slot.get();
}

HostClass* Host::FindClass(const std::string& name) {
    auto it = classes_.find(Lower(name));
    return it == classes_.end() ? nullptr : it->second.get();
}

void* Host::NewObject(HostClass* cls) {
    if (cls == nullptr) return nullptr;
    size_t header = cls->kind == kPluginObject ? cls->dataOffset : sizeof(ObjectHeader);
    size_t size = header + (cls->kind == kPluginObject ? cls->dataSize : 0);
    // Each instance is its own exact-size, zero-filled allocation.
    ObjectHeader* o = (ObjectHeader*)calloc(1, size);
    o->magic = kObjectMagic;
    o->cls = cls;
    o->serial = (uint32_t)++serial_;
    Entry& e = ledger[o];
    e = Entry();
    e.object = true;
    e.refs = 1;
    e.serial = serial_;
    e.size = size;
    e.what = cls->name + " #" + std::to_string(serial_);
    if (cls->kind == kException) o->payload = new ExceptionPayload;
    return o;
}

void* Host::NewObject(const std::string& cls) { return NewObject(FindClass(cls)); }

HostClass* Host::ClassOf(const void* obj) {
    if (obj == nullptr || Check(obj, "class of") == nullptr) return nullptr;
    auto it = ledger.find(obj);
    if (!it->second.object) return nullptr;
    return ((const ObjectHeader*)obj)->cls;
}

char* Host::DataOf(void* obj) {
    HostClass* c = ClassOf(obj);
    return c ? (char*)obj + c->dataOffset : nullptr;
}

}  // namespace emu
