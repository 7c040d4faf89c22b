// The host's own classes: folder items over real paths or synthetic chains,
// memory blocks (exact-size, or of unknown size over a pointer), arrays whose
// record's third word is the element storage, variants and exceptions.
#include "host.h"
#include "internals.h"

#include <cstdlib>
#include <cstring>

namespace emu {

int ElementSize(int type) {
    switch (type) {
    case 3: case 5: return 8;
    case 11: return 1;
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
        if (p->type == 8 || p->type == 9) {
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
    default:
        break;
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

void* Host::FolderItem(const std::string& path) {
    ObjectHeader* o = (ObjectHeader*)NewObject("FolderItem");
    FolderPayload* p = new FolderPayload;
    p->path = path;
    o->payload = p;
    return o;
}

void* Host::SyntheticItem(const std::string& name, const std::string& displayName, void* parent) {
    ObjectHeader* o = (ObjectHeader*)NewObject("FolderItem");
    FolderPayload* p = new FolderPayload;
    p->synthetic = true;
    p->name = name;
    p->displayName = displayName;
    p->parent = parent;  // takes over the caller's reference
    o->payload = p;
    return o;
}

std::string Host::PathOf(void* item) {
    if (item == nullptr || Check(item, "path of") == nullptr) return "";
    FolderPayload* p = PayloadOf<FolderPayload>(item);
    if (!p->synthetic) return p->path;
    // A synthetic item's path is its chain of names, topmost first.
    std::vector<std::string> names;
    for (void* i = item; i; i = PayloadOf<FolderPayload>(i)->parent) names.push_back(PayloadOf<FolderPayload>(i)->name);
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) path += "/" + *it;
    return path;
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
    case 3: memcpy(at, &v.l, 8); break;
    case 5: memcpy(at, &v.d, 8); break;
    case 11: *at = v.b; break;
    case 8: case 9: {
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

}  // namespace emu
