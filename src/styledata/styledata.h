// The style-run classes "StyleDataTKZ" and "StyleDataListTKZ", their list
// container and the two decoders.
#pragma once

#include "../hostapi/records.h"

extern "C" {
extern REALclassDefinition StyleDataClass;      // "StyleDataTKZ"
extern REALclassDefinition StyleDataListClass;  // "StyleDataListTKZ"
}

REALobjectStruct* DecompileMacStyleData(REALstringStruct* text, REALstringStruct* styles);
REALobjectStruct* DecompileWinStyleData(REALstringStruct* text, REALstringStruct* styles);

// One run's instance data, 84 bytes, fields in declaration order.
struct StyleData {
    unsigned char Bold;
    int32_t TextOffset;
    unsigned char Italic;
    int32_t TextHeight;
    unsigned char Underline;
    int32_t FontID;
    unsigned char Outline;
    REALstringStruct* FontName;
    unsigned char Shadow;
    int32_t TextSize;
    unsigned char Condense;
    uint32_t TextColor;  // &h00RRGGBB
    unsigned char Extend;
    int32_t Red;  // 16-bit scale
    unsigned char ColorAvailable;
    int32_t Green;
    unsigned char FontAvailable;
    int32_t Blue;
    REALstringStruct* Text;
    int32_t TextLength;
    int32_t Style;
};

// Singly linked list of object references; the list owns one per node.
struct MyListData {
    MyListData* next;
    REALobjectStruct* object;
};

// The host reads only "Count". The class registers 16 bytes (8 rounded up),
// and bytes 8 to 15 keep a read cursor: the last entry "Style" answered, so
// that reading the entries in order costs one step each. The list never
// changes between the decoder filling it and the destructor freeing it.
struct StyleDataList {
    int32_t count;  // the property "Count"
    MyListData* list;
    int32_t cursorIndex;     // 0-based index of cursorNode
    MyListData* cursorNode;  // nil: no cursor yet
};

StyleData* StyleDataOf(REALobjectStruct* o);
StyleDataList* StyleDataListOf(REALobjectStruct* o);
long ComposeTextColor(long red, long green, long blue);
// List helpers no registered method calls: the list class walks its own
// cursor, the decoders append with MyListAppendAfter.
int MyListCount(MyListData* list);
REALobjectStruct* MyListGet(MyListData* list, int index);
bool MyListAppend(MyListData*& list, REALobjectStruct* object);
void MyListFree(MyListData*& list);
// Appends behind `tail` (the last node, or nil for an empty list) and moves
// `tail` to the new node: a decoder building a list keeps its end at hand.
bool MyListAppendAfter(MyListData*& list, MyListData*& tail, REALobjectStruct* object);
// Creates the list object over `list` with `count` entries; on failure frees
// the list (releasing every entry) and answers nil.
REALobjectStruct* NewStyleDataList(MyListData*& list, int count);
