// Classes and objects: the host's classes and those the plugin registers,
// objects of exact size with the host's header, which class an object is,
// and the host's own kinds of object (memory blocks of known or unknown size,
// arrays whose record's third word is the element storage, variants,
// exceptions) with what each holds and gives back when destroyed.
#include "host.h"
#include "internals.h"

#include <cstdlib>
#include <cstring>

namespace host {

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

void* Host::NewInstance(HostClass* cls) {
    if (cls == nullptr) return nullptr;
    auto lim = config_.newInstanceLimit.find(cls->name);
    if (lim != config_.newInstanceLimit.end()) {
        if (lim->second <= 0) return nullptr;
        --lim->second;
    }
    switch (cls->kind) {
        case kFolderItem: return FolderItem("/");
        case kMemoryBlock: return NewMemoryBlock(0);
        case kArray: return NewArray(kIntegerType, 0);
        case kVariant: return NewVariant(kNilType, Value());
        default: break;
    }
    ObjectHeader* o = (ObjectHeader*)NewObject(cls);
    if (cls->kind == kPluginObject && cls->def && cls->def->constructor) ((void (*)(void*))cls->def->constructor)(o);
    return o;
}

void* Host::NewInstance(const std::string& cls) { return NewInstance(FindClass(cls)); }

int ElementSize(int type) {
    switch (type) {
        case kInt64Type:
        case kDoubleType: return 8;
        case kBooleanType: return 1;
        default: return 4;
    }
}

void DestroyPayload(Host& host, ObjectHeader* o) {
    switch (o->cls->kind) {
        case kFolderItem: {
            FolderPayload* p = (FolderPayload*)o->payload;
            if (p->parent) host.Unlock(p->parent);
            delete p;
            break;
        }
        case kMemoryBlock: {
            BlockPayload* p = (BlockPayload*)o->payload;
            if (p->owned) free(p->data);
            delete p;
            break;
        }
        case kArray: {
            ArrayPayload* p = (ArrayPayload*)o->payload;
            if (p->type == kStringType || p->type == kObjectType) {
                for (int i = 0; i < p->count; ++i) {
                    void* h;
                    memcpy(&h, (char*)o->storage + 4 * i, 4);
                    if (h) host.Unlock(h);
                }
            }
            free(o->storage);
            delete p;
            break;
        }
        case kVariant: {
            VariantPayload* p = (VariantPayload*)o->payload;
            if (p->value.kind == Value::Handle && p->value.h) host.Unlock(p->value.h);
            delete p;
            break;
        }
        case kException: {
            ExceptionPayload* p = (ExceptionPayload*)o->payload;
            if (p && p->message) host.Unlock(p->message);
            delete p;
            break;
        }
        default: break;
    }
    o->payload = nullptr;
}

void* Host::NewMemoryBlock(int size) {
    if (size < 0) return nullptr;
    ObjectHeader* o = (ObjectHeader*)NewObject("MemoryBlock");
    BlockPayload* p = new BlockPayload;
    // Exactly `size` bytes of its own, so a read past the block is caught.
    p->data = (char*)calloc(1, size > 0 ? (size_t)size : 1);
    if (size == 0) {
        free(p->data);
        p->data = (char*)malloc(0);
    }
    p->size = size;
    p->owned = true;
    o->payload = p;
    return o;
}

void* Host::MemoryBlockOver(void* bytes) {
    ObjectHeader* o = (ObjectHeader*)NewObject("MemoryBlock");
    BlockPayload* p = new BlockPayload;
    p->data = (char*)bytes;
    p->size = -1;
    o->payload = p;
    return o;
}

std::string Host::BlockBytes(void* block) {
    if (block == nullptr || Check(block, "read memory block") == nullptr) return "";
    BlockPayload* p = PayloadOf<BlockPayload>(block);
    return p->size > 0 ? std::string(p->data, (size_t)p->size) : std::string();
}

char* Host::BlockData(void* block) {
    if (block == nullptr || Check(block, "memory block bytes") == nullptr) return nullptr;
    return PayloadOf<BlockPayload>(block)->data;
}

void* Host::NewArray(int elementType, int count) {
    ObjectHeader* o = (ObjectHeader*)NewObject("Array");
    ArrayPayload* p = new ArrayPayload;
    p->type = elementType;
    p->count = count;
    o->payload = p;
    o->storage = calloc(count > 0 ? (size_t)count : 1, (size_t)ElementSize(elementType));
    return o;
}

void Host::SetElement(void* array, int index, const Value& v) {
    ObjectHeader* o = (ObjectHeader*)array;
    ArrayPayload* p = (ArrayPayload*)o->payload;
    char* at = (char*)o->storage + (size_t)ElementSize(p->type) * (size_t)index;
    switch (p->type) {
        case kInt64Type: memcpy(at, &v.l, 8); break;
        case kDoubleType: memcpy(at, &v.d, 8); break;
        case kBooleanType: *at = v.b; break;
        case kStringType:
        case kObjectType: {
            StoreHandle(at, v.h);
            break;
        }
        default: memcpy(at, &v.i, 4); break;
    }
}

void* Host::NewVariant(int type, const Value& v) {
    ObjectHeader* o = (ObjectHeader*)NewObject("Variant");
    VariantPayload* p = new VariantPayload;
    p->type = type;
    p->value = v;
    if (v.kind == Value::Handle && v.h) Lock(v.h);
    o->payload = p;
    return o;
}

}  // namespace host
