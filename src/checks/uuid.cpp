// "ValidateUUIDTKZ": accepts text of the form of a UUID (8-4-4-4-12
// hexadecimal digits) under the mode bits. The text is read converted to
// US-ASCII and up to its first NUL byte; when that has the form, the answer is
// a new US-ASCII string of it, case, braces and hyphens as written, else nil.
// Bit 0 set: no braces; clear: braces required. Bit 1 set: each of the four
// hyphens optional; clear: required. Other bits play no part. Nothing but a
// NUL byte may follow the form, and what follows that byte is not looked at.
#include "checks.h"

#include "../text/rbtext.h"

#include <string.h>

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Steps over n digits; false at the first character that is none.
bool Digits(const char*& p, int n) {
    for (int i = 0; i < n; ++i, ++p)
        if (!IsHex(*p)) return false;
    return true;
}

bool Separator(const char*& p, bool optional) {
    if (*p == '-') {
        ++p;
        return true;
    }
    return optional;
}

bool Matches(const char* p, long mode) {
    bool braces = (mode & 1) == 0;
    bool optional = (mode & 2) != 0;
    if (braces && *p++ != '{') return false;
    if (!Digits(p, 8)) return false;
    static const int kGroups[4] = {4, 4, 4, 12};
    for (int g = 0; g < 4; ++g)
        if (!Separator(p, optional) || !Digits(p, kGroups[g])) return false;
    if (braces && *p++ != '}') return false;
    return *p == 0;
}

}  // namespace

REALstringStruct* ValidateUUID(REALstringStruct* text, long mode) {
    rbText t(text);
    const char* form = t.GetASCII();
    if (!Matches(form, mode)) return nullptr;
    return REALBuildUnicodeString(form, (int)strlen(form), kEncASCII);
}
