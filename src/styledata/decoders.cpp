// Decoders of styled-text run tables into a "StyleDataListTKZ".
// Not built yet: both answer nil, the failure value, for every input.
#include "styledata.h"

REALobjectStruct* DecompileMacStyleData(REALstringStruct*, REALstringStruct*) { return nullptr; }
REALobjectStruct* DecompileWinStyleData(REALstringStruct*, REALstringStruct*) { return nullptr; }
