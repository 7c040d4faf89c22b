// The global methods, in the order the host must receive them. The two
// "DelayTKZ" entries are overloads that differ only in their parameters.
#include "../bytes/bytes.h"
#include "../checks/checks.h"
#include "../console/console.h"
#include "../desktop/desktop.h"
#include "../folderitem/folderitem.h"
#include "../sound/volume.h"
#include "../styledata/styledata.h"
#include "plugin.h"

constinit REALmethodDefinition GlobalMethods[] = {
    TKZ_METHOD(ValidateUUID, "ValidateUUIDTKZ(UUID as string, mode as integer = 0) as string"),
    TKZ_METHOD(rbisaArray, "ArrayIsATKZ(v as variant, ClassName as string) as boolean"),
    TKZ_METHOD(rbisaObject, "ObjectIsATKZ(o as object, ClassName as string) as boolean"),
    TKZ_METHOD(SetCurrentWorkingDirectoryTKZ, "SetCurrentWorkingDirectoryTKZ(path as folderitem) as boolean"),
    TKZ_METHOD(DecompileMacStyleData, "DecompileMacStyleDataTKZ(text as string, styles as string) as StyleDataListTKZ"),
    TKZ_METHOD(DecompileWinStyleData, "DecompileWinStyleDataTKZ(text as string, styles as string) as StyleDataListTKZ"),
    TKZ_METHOD(GetHash32, "GetHash32TKZ(s as string) as integer"),
    TKZ_METHOD(getStringEncoding, "GetEncodingOfStringTKZ(s as string) as integer"),
    TKZ_METHOD(setStringEncoding, "SetEncodingOfStringTKZ(s as string, encoding as integer)"),
    TKZ_METHOD(StringFromOSType, "StringFromOSTypeTKZ(int as integer) as string"),
    TKZ_METHOD(OSTypeFromString, "OSTypeFromStringTKZ(str as string) as integer"),
    TKZ_METHOD(StringToMemoryBlockTKZ, "StringToMemoryBlockTKZ(s as string) as memoryblock"),
    TKZ_METHOD(MemoryBlockToString1, "MemoryBlockToStringTKZ(s as memoryblock) as string"),
    TKZ_METHOD(MemoryBlockToString2, "MemoryBlockToStringWithLengthTKZ(s as memoryblock,len as integer) as string"),
    TKZ_METHOD(CloneString, "CloneStringTKZ(s as string) as string"),
    TKZ_METHOD(CloneMemoryBlock1, "CloneMemoryBlockTKZ(s as memoryblock) as memoryblock"),
    TKZ_METHOD(CloneMemoryBlock2, "CloneMemoryBlockWithLengthTKZ(s as memoryblock,len as integer) as memoryblock"),
    TKZ_METHOD(ReturnErrPtr, "ReturnErrPtrTKZ as Integer"),
    TKZ_METHOD(ReturnOutPtr, "ReturnOutPtrTKZ as Integer"),
    TKZ_METHOD(ReturnInPtr, "ReturnInPtrTKZ as Integer"),
    TKZ_METHOD(BitwiseXORStringBytes, "BitwiseXORStringBytesTKZ(s as string, v as integer) as string"),
    TKZ_METHOD(RBSleep, "SleepTKZ(time as double)"),
    TKZ_METHOD(RBDelay, "DelayTKZ(time as double)"),
    TKZ_METHOD(RBDelay2, "DelayTKZ(time as double, mode as integer)"),
    TKZ_METHOD(SetSoundVolumeTKZ, "SetSoundVolumeTKZ(percent as double)"),
    TKZ_METHOD(GetSoundVolumeTKZ, "GetSoundVolumeTKZ as double"),
    TKZ_METHOD(SetSoundVolumeLeftTKZ, "SetSoundVolumeLeftTKZ(percent as double)"),
    TKZ_METHOD(GetSoundVolumeLeftTKZ, "GetSoundVolumeLeftTKZ as double"),
    TKZ_METHOD(SetSoundVolumeRightTKZ, "SetSoundVolumeRightTKZ(percent as double)"),
    TKZ_METHOD(GetSoundVolumeRightTKZ, "GetSoundVolumeRightTKZ as double"),
    TKZ_METHOD(SetSoundMuteTKZ, "SetSoundMuteTKZ(mute as boolean)"),
    TKZ_METHOD(GetSoundMuteTKZ, "GetSoundMuteTKZ as boolean"),
    TKZ_METHOD(RBShowCursor, "ShowCursorTKZ"),
    TKZ_METHOD(RBHideCursor, "HideCursorTKZ"),
    TKZ_METHOD(RBObscureCursor, "ObscureCursorTKZ"),
    TKZ_METHOD(DoubleClickTime, "GetDoubleClickIntervalTKZ as integer"),
    TKZ_METHOD(NewFolderItemFSSpec, "NewFolderItemFSSpecTKZ(fsspec as memoryblock) as FolderItem"),
    TKZ_METHOD(NewFolderItemFSRef, "NewFolderItemFSRefTKZ(fsref as memoryblock) as FolderItem"),
    TKZ_METHOD(NewFolderItemFSRef2, "NewFolderItemFSRefNameTKZ(fsref as memoryblock,name as string) as FolderItem"),
};
static_assert(CountOf(GlobalMethods) == kGlobalMethodCount, "kGlobalMethodCount names every global method");
