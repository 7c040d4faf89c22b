' A tour of the TKZ plugin, run by tkzhost in the emulated host:
'   LC_ALL=C.UTF-8 build/tkzhost build/tkz.so examples/tour.bas
' Each print writes one line (an object, one line per property); a bare
' print, an empty line between the parts. docs/reference.md says it all.

' Strings and memory blocks
print GetHash32TKZ("abc"), GetHash32TKZ("ABC"), GetHash32TKZ("Hello")
x = BitwiseXORStringBytesTKZ("abcdef", 32)
print x
print BitwiseXORStringBytesTKZ(x, 32)
print GetEncodingOfStringTKZ("text"), StringFromOSTypeTKZ(&h54455854), OSTypeFromStringTKZ("TEXT")
m = StringToMemoryBlockTKZ("hello")
print m, MemoryBlockToStringWithLengthTKZ(m, 4), CloneMemoryBlockWithLengthTKZ(m, 2)
print CloneStringTKZ(tagged("caf", &h500))

print
' UUIDs
print ValidateUUIDTKZ("{0123ABCD-4567-89ab-CDEF-0123456789ab}")
print ValidateUUIDTKZ("0123ABCD-4567-89ab-CDEF-0123456789ab", 1)
print ValidateUUIDTKZ("0123ABCD456789abCDEF0123456789ab", 3), ValidateUUIDTKZ("not a uuid", 3)

print
' Class tests
run = new StyleDataTKZ
print ObjectIsATKZ(run, "StyleDataTKZ"), ObjectIsATKZ(run, "TimeZoneTKZ"), ObjectIsATKZ(nil, "StyleDataTKZ")

print
' Styled text, Mac layout: one run of Hello, bold and underlined, orange
mac = DecompileMacStyleDataTKZ("Hello", &b"01 00 00 00 00 00 0C 00 09 00 03 00 00 05 0C 00 FF FF 00 80 00 00")
print mac.Count
print mac.Style(1)

print
' Styled text, Windows layout: one record per character
win = DecompileWinStyleDataTKZ("Hi", &b"1B 04 53 61 6E 73 FF 00 80 0A 01 05")
print win.Count, win.Style(1).FontName, win.Style(1).TextColor, win.Style(2).Text, win.Style(2).Bold, win.Style(3)

print
' A run made by hand
run.Red = &hFFFF
run.Green = &h8000
run.Text = "made here"
print run.TextColor, run.TextLength, run.ColorAvailable

print
' Folder items
f = folder("/usr/share/doc/notes.tar.gz")
print f.DisplayPathTKZ, f.DisplayPathTKZ(" > ")
print f.NameExtensionTKZ, f.NameWithoutExtensionTKZ
print f.VolumeSizeTKZ, f.FSRefTKZ, f.IsFileResourceForkOpenReadWriteTKZ
print folder("/no/such/file").IsFileDataForkOpenReadWriteTKZ

print
' Console streams (standard input fed by the tour)
feed("12 abc 2.5 rest")
r = StdinTKZ.ReadInteger(n)
print r, n
r = StdinTKZ.ReadInteger(n)
print r, n
r = StdinTKZ.ReadString(w)
print r, w
r = StdinTKZ.ReadDouble(d)
print r, d
print StdinTKZ.GetCharacter, StdinTKZ.Read(10), StdinTKZ.Read(10)
out = new StdoutTKZ
out.Write(&b"77 72 69 74 74 65 6E 20 62 79 20 53 74 64 6F 75 74 54 4B 5A 0A")
out.Flush

print
' Time zone (what the host put into the instance: zeros)
tz = new TimeZoneTKZ
print tz.GmtDeltaHours, tz.Latitude, tz.Longitude

print
' Desktop
print GetDoubleClickIntervalTKZ, NewFolderItemFSRefTKZ(m)
DelayTKZ(0.01)

print
' Volume (the getters' fixed answers: the tour leaves the mixer alone)
' SetSoundVolumeTKZ(0.5) sets the sound card's master volume to half its
' maximum: try it in a copy of this tour, on a machine whose volume you may change.
print GetSoundVolumeTKZ, GetSoundVolumeLeftTKZ, GetSoundVolumeRightTKZ, GetSoundMuteTKZ
