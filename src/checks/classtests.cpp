// "ObjectIsATKZ" and "ArrayIsATKZ": class tests by a name given at run time.
// The answer is the host's own class test; anything that cannot be answered
// (nil object or array, not an array of objects, empty array, nil first
// element, unknown class name) is false. Only element 0 of an array is
// tested.
#include "checks.h"

#include "../objects/hostobjects.h"
#include "../text/rbtext.h"

namespace {
const long kArrayOfObjects = 0x1009;  // the host's variant type of an object array
}  // namespace

bool rbisaObject(REALobjectStruct* o, REALstringStruct* className) {
    rbText name(className);
    return REALObjectIsA(o, name.GetUTF8());
}

bool rbisaArray(REALarrayStruct* v, REALstringStruct* className) {
    if (v == nullptr) return false;
    if (GetVariantType((REALobjectStruct*)v) != kArrayOfObjects) return false;
    rbText name(className);
    if (REALGetArrayUBound(v) < 0) return false;
    REALobjectStruct* first = nullptr;
    REALGetArrayValue(v, 0, &first);
    bool result = REALObjectIsA(first, name.GetUTF8());
    if (first != nullptr) REALUnlockObject(first);
    return result;
}
