// The UUID check and the class tests of the global method table.
#pragma once

#include "../hostapi/records.h"

REALstringStruct* ValidateUUID(REALstringStruct* text, long mode);
bool rbisaObject(REALobjectStruct* o, REALstringStruct* className);
bool rbisaArray(REALarrayStruct* v, REALstringStruct* className);
