// "StyleDataTKZ" (one styled run) and "StyleDataListTKZ" (numbered runs):
// class definitions, instance data, setters that keep TextColor, the three
// components, FontName and TextLength consistent, and the destructors.
// String fields own one reference each; the list owns one per entry.
#include "styledata.h"

#include "../hostapi/registration.h"
#include "../hostapi/wrappers.h"
#include "../text/strings.h"

#include <stdlib.h>

static_assert(sizeof(StyleData) == 84, "StyleDataTKZ instance data is 84 bytes");
static_assert(offsetof(StyleData, TextOffset) == 4, "");
static_assert(offsetof(StyleData, FontName) == 28, "");
static_assert(offsetof(StyleData, TextColor) == 44, "");
static_assert(offsetof(StyleData, Text) == 72, "");
static_assert(offsetof(StyleData, Style) == 80, "");
static_assert(offsetof(StyleDataList, list) == 4, "");
static_assert(offsetof(StyleDataList, cursorIndex) == 8 && sizeof(StyleDataList) == 16,
              "the cursor lives in the spare bytes of the 16 registered");

long ComposeTextColor(long red, long green, long blue) {
    // Arithmetic shifts of the signed components; an out-of-range component
    // contributes its other bits by the same formula. Shifting left is done
    // unsigned so that a negative red has defined behaviour.
    unsigned long r = (unsigned long)(red >> 8) << 16;
    unsigned long g = (unsigned long)green & ~0xFFul;
    unsigned long b = (unsigned long)(blue >> 8);
    return (long)(r | g | b);
}

StyleData* StyleDataOf(REALobjectStruct* o) { return InstanceData<StyleData>(StyleDataClass, o); }
StyleDataList* StyleDataListOf(REALobjectStruct* o) { return InstanceData<StyleDataList>(StyleDataListClass, o); }

namespace {
void ReleaseString(REALstringStruct*& s) {
    if (s != nullptr) REALUnlockString(s);
    s = nullptr;
}
void Recompose(StyleData* d) {
    d->TextColor = (uint32_t)ComposeTextColor(d->Red, d->Green, d->Blue);
    d->ColorAvailable = 1;
}
}  // namespace

void SetTextColor(REALobjectStruct* o, long, unsigned long value) {
    StyleData* d = StyleDataOf(o);
    d->TextColor = (uint32_t)value;
    d->Red = (int32_t)(((value >> 16) & 0xFF) * 257);
    d->Green = (int32_t)(((value >> 8) & 0xFF) * 257);
    d->Blue = (int32_t)((value & 0xFF) * 257);
    d->ColorAvailable = 1;
}
void SetRed(REALobjectStruct* o, long, long value) {
    StyleDataOf(o)->Red = (int32_t)value;
    Recompose(StyleDataOf(o));
}
void SetGreen(REALobjectStruct* o, long, long value) {
    StyleDataOf(o)->Green = (int32_t)value;
    Recompose(StyleDataOf(o));
}
void SetBlue(REALobjectStruct* o, long, long value) {
    StyleDataOf(o)->Blue = (int32_t)value;
    Recompose(StyleDataOf(o));
}
void SetFontID(REALobjectStruct* o, long, long value) {
    StyleData* d = StyleDataOf(o);
    d->FontID = (int32_t)value;
    ReleaseString(d->FontName);
}
void SetFontName(REALobjectStruct* o, long, REALstringStruct* value) {
    StyleData* d = StyleDataOf(o);
    if (value != nullptr) REALLockString(value);  // first: value may be the old name
    ReleaseString(d->FontName);
    d->FontName = value;
}
void SetText(REALobjectStruct* o, long, REALstringStruct* value) {
    StyleData* d = StyleDataOf(o);
    if (value != nullptr) REALLockString(value);
    ReleaseString(d->Text);
    d->Text = value;
    d->TextLength = value != nullptr ? StringLength(value) : 0;
}
void CloseStyleData(REALobjectStruct* o) {
    StyleData* d = StyleDataOf(o);
    ReleaseString(d->FontName);
    ReleaseString(d->Text);
}

// Entry number `index`, counted from 1, with a new reference. Asking for the
// entry after (or again) the last one answered costs one step; any other
// index walks from the first node.
REALobjectStruct* GetItem(REALobjectStruct* o, unsigned long index) {
    StyleDataList* d = StyleDataListOf(o);
    int i = (int)(index - 1);
    if (i < 0) return nullptr;
    MyListData* node = nullptr;
    if (d->cursorNode != nullptr && i == d->cursorIndex) node = d->cursorNode;
    else if (d->cursorNode != nullptr && i == d->cursorIndex + 1) node = d->cursorNode->next;
    else {
        node = d->list;
        for (int k = 0; k < i && node != nullptr; ++k) node = node->next;
    }
    if (node == nullptr) return nullptr;
    d->cursorIndex = i;
    d->cursorNode = node;
    if (node->object != nullptr) REALLockObject(node->object);
    return node->object;
}
void CloseStyleDataList(REALobjectStruct* o) {
    StyleDataList* d = StyleDataListOf(o);
    MyListFree(d->list);
    d->count = 0;
    d->cursorNode = nullptr;
    d->cursorIndex = 0;
}

REALobjectStruct* NewStyleDataList(MyListData*& list, int count) {
    REALobjectStruct* o = REALnewInstance("StyleDataListTKZ");
    if (o == nullptr) {
        MyListFree(list);
        return nullptr;
    }
    StyleDataList* d = StyleDataListOf(o);
    d->count = count;
    d->list = list;
    return o;
}

// ---- MyListData ------------------------------------------------------------

int MyListCount(MyListData* list) {
    int n = 0;
    for (; list != nullptr; list = list->next) ++n;
    return n;
}

REALobjectStruct* MyListGet(MyListData* list, int index) {
    if (index < 0) return nullptr;
    for (int i = 0; list != nullptr; list = list->next, ++i) {
        if (i == index) {
            if (list->object != nullptr) REALLockObject(list->object);
            return list->object;
        }
    }
    return nullptr;
}

bool MyListAppend(MyListData*& list, REALobjectStruct* object) {
    if (object == nullptr) return false;
    MyListData* node = (MyListData*)calloc(1, sizeof(MyListData));
    if (node == nullptr) return false;
    REALLockObject(object);
    node->next = nullptr;
    node->object = object;
    MyListData** end = &list;
    while (*end != nullptr) end = &(*end)->next;
    *end = node;
    return true;
}

bool MyListAppendAfter(MyListData*& list, MyListData*& tail, REALobjectStruct* object) {
    if (object == nullptr) return false;
    MyListData* node = (MyListData*)calloc(1, sizeof(MyListData));
    if (node == nullptr) return false;
    REALLockObject(object);
    node->object = object;
    if (tail == nullptr) list = node;
    else tail->next = node;
    tail = node;
    return true;
}

void MyListFree(MyListData*& list) {
    while (list != nullptr) {
        MyListData* next = list->next;
        if (list->object != nullptr) REALUnlockObject(list->object);
        free(list);
        list = next;
    }
    list = nullptr;
}

// ---- Class definitions -----------------------------------------------------

#define FIELD(f) offsetof(StyleData, f)
static TKZ_CONSTINIT REALpropertyDefinition StyleDataProperties[] = {
    TKZ_PROPERTY("FontAvailable", "Boolean", TKZ_DIRECT, TKZ_DIRECT, FIELD(FontAvailable)),
    TKZ_PROPERTY("ColorAvailable", "Boolean", TKZ_DIRECT, TKZ_DIRECT, FIELD(ColorAvailable)),
    TKZ_PROPERTY("Bold", "Boolean", TKZ_DIRECT, TKZ_DIRECT, FIELD(Bold)),
    TKZ_PROPERTY("Italic", "Boolean", TKZ_DIRECT, TKZ_DIRECT, FIELD(Italic)),
    TKZ_PROPERTY("Underline", "Boolean", TKZ_DIRECT, TKZ_DIRECT, FIELD(Underline)),
    TKZ_PROPERTY("Outline", "Boolean", TKZ_DIRECT, TKZ_DIRECT, FIELD(Outline)),
    TKZ_PROPERTY("Shadow", "Boolean", TKZ_DIRECT, TKZ_DIRECT, FIELD(Shadow)),
    TKZ_PROPERTY("Condense", "Boolean", TKZ_DIRECT, TKZ_DIRECT, FIELD(Condense)),
    TKZ_PROPERTY("Extend", "Boolean", TKZ_DIRECT, TKZ_DIRECT, FIELD(Extend)),
    TKZ_PROPERTY("TextOffset", "Integer", TKZ_DIRECT, TKZ_DIRECT, FIELD(TextOffset)),
    TKZ_PROPERTY("TextHeight", "Integer", TKZ_DIRECT, TKZ_DIRECT, FIELD(TextHeight)),
    TKZ_PROPERTY("FontID", "Integer", TKZ_DIRECT, SetFontID, FIELD(FontID)),
    TKZ_PROPERTY("FontName", "String", TKZ_DIRECT, SetFontName, FIELD(FontName)),
    TKZ_PROPERTY("TextSize", "Integer", TKZ_DIRECT, TKZ_DIRECT, FIELD(TextSize)),
    TKZ_PROPERTY("TextColor", "Color", TKZ_DIRECT, SetTextColor, FIELD(TextColor)),
    TKZ_PROPERTY("Red", "Integer", TKZ_DIRECT, SetRed, FIELD(Red)),
    TKZ_PROPERTY("Green", "Integer", TKZ_DIRECT, SetGreen, FIELD(Green)),
    TKZ_PROPERTY("Blue", "Integer", TKZ_DIRECT, SetBlue, FIELD(Blue)),
    TKZ_PROPERTY("Text", "String", TKZ_DIRECT, SetText, FIELD(Text)),
    TKZ_PROPERTY("Style", "Integer", TKZ_DIRECT, TKZ_DIRECT, FIELD(Style)),
    TKZ_PROPERTY("TextLength", "Integer", TKZ_DIRECT, nullptr, FIELD(TextLength)),
};
#undef FIELD
static_assert(CountOf(StyleDataProperties) == 21, "StyleDataTKZ has 21 properties");

static TKZ_CONSTINIT REALpropertyDefinition StyleDataListProperties[] = {
    TKZ_PROPERTY("Count", "Integer", TKZ_DIRECT, TKZ_DIRECT, offsetof(StyleDataList, count)),
};
static_assert(CountOf(StyleDataListProperties) == 1, "StyleDataListTKZ has one property");
// The one method entry of the plugin that carries flags 0.
static constinit REALmethodDefinition StyleDataListMethods[] = {
    {(void*)GetItem, 0, "Style(index as integer) as StyleDataTKZ", 0},
};
static_assert(CountOf(StyleDataListMethods) == 1, "StyleDataListTKZ has one method");

extern "C" {
constinit REALclassDefinition StyleDataClass =
    TKZ_CLASS("StyleDataTKZ", sizeof(StyleData), nullptr, CloseStyleData, StyleDataProperties,
              CountOf(StyleDataProperties), nullptr, 0, nullptr, 0);
constinit REALclassDefinition StyleDataListClass = TKZ_CLASS(
    "StyleDataListTKZ", offsetof(StyleDataList, cursorIndex), nullptr, CloseStyleDataList, StyleDataListProperties,
    CountOf(StyleDataListProperties), StyleDataListMethods, CountOf(StyleDataListMethods), nullptr, 0);
}
