' Literals, integer ranges, variables, objects and byref arguments (a value
' prints alike from a literal, a variable or a property), with
' what the plugin reads from tkzhost's own standard input: "12 one two"
' (tkzhost_test; the expected output is tkzhost-values.out).
print 12, -7, &hFF, &hFFFFFFFF, 5000000000, 2.5, -1e3, true, false, nil
print "text", &b"00 FF", tagged("caf", &h500), memoryblock(&b"68 69"), memoryblock(0)
print GetEncodingOfStringTKZ("x"), GetEncodingOfStringTKZ(&b"78"), CloneStringTKZ("say ""hi""")
print folder("/tmp/x.txt"), folder("/tmp/x.txt").NameExtensionTKZ
print &h80000000, -2147483648, 2147483648, -(2), 1E2, .5
print StringFromOSTypeTKZ(&h54455854), StringFromOSTypeTKZ(-2147483648)
r = new StyleDataTKZ
r.TextColor = &hFFFFFFFF
r.TextColor = 4294967295
r.Red = -2147483648
print r.Red
x = new StyleDataTKZ
x.Red = &hFFFF
x.Text = "abc"
c = x.TextColor
print x.TextColor, c, x.TextLength
y = x
print y.Red
r = StdinTKZ.ReadInteger(n)
print r, n
r = StdinTKZ.ReadString(w)
r2 = StdinTKZ.ReadString(w)
print r, w, r2
REM print "a comment, as BASIC writes one too"
DelayTKZ(0.01)
DelayTKZ(0.01, 3)
