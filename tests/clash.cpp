// A second plugin-like library that exports some of the same names as tkz.so,
// to show that each library's own references stay its own.
struct REALstringStruct;

extern "C" {
unsigned char Buffer[16] = "clash";
void* gResolver = nullptr;
int clashLockCalls = 0;
}

void REALLockString(REALstringStruct*) { ++clashLockCalls; }
