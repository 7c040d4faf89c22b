// The style-run classes "StyleDataTKZ" and "StyleDataListTKZ", their list
// container and the two decoders.
#pragma once

#include "../frame/records.h"

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
    int32_t Red;         // 16-bit scale
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

struct StyleDataList {
    int32_t count;  // the property "Count"
    MyListData* list;
};

StyleData* StyleDataOf(REALobjectStruct* o);
StyleDataList* StyleDataListOf(REALobjectStruct* o);
long ComposeTextColor(long red, long green, long blue);
int MyListCount(MyListData* list);
REALobjectStruct* MyListGet(MyListData* list, int index);
bool MyListAppend(MyListData*& list, REALobjectStruct* object);
void MyListFree(MyListData*& list);
