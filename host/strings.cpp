// Host strings: records with their bytes and encoding tag, and conversion
// between encodings through iconv, as the host converts (a character the
// target cannot hold becomes '?').
#include "host.h"

#include <cstdlib>
#include <cstring>
#include <iconv.h>

namespace host {

StringRec* Host::NewString(const std::string& bytes, uint32_t encoding) {
    StringRec* s = (StringRec*)calloc(1, sizeof(StringRec));
    // Exactly one leading byte, the text and its NUL: a read past the text
    // and its terminator is caught by AddressSanitizer.
    s->buffer = (char*)malloc(bytes.size() + 2);
    s->buffer[0] = 0;
    memcpy(s->buffer + 1, bytes.data(), bytes.size());
    s->buffer[bytes.size() + 1] = 0;
    s->magic = kStringMagic;
    s->serial = (uint32_t)++serial_;
    s->length = (int32_t)bytes.size();
    s->encoding = encoding;
    Entry& e = ledger[s];
    e = Entry();
    e.refs = 1;
    e.serial = serial_;
    e.size = sizeof(StringRec);
    e.what = "string #" + std::to_string(serial_) + " \"" + bytes.substr(0, 40) + "\"";
    return s;
}

std::string Host::Bytes(const void* s) {
    if (s == nullptr) return "";
    if (Check(s, "read string") == nullptr) return "";
    const StringRec* r = (const StringRec*)s;
    return std::string(r->buffer + 1, (size_t)r->length);
}

uint32_t Host::Encoding(const void* s) {
    if (s == nullptr || Check(s, "read encoding") == nullptr) return 0;
    return ((const StringRec*)s)->encoding;
}

namespace {

const char* IconvName(uint32_t enc) {
    switch (enc) {
        case kMacRoman: return "MACINTOSH";
        case kUTF16: return "UTF-16LE";
        case kWindows: return "CP1252";
        case kASCII: return "ASCII";
        case kUTF8: return "UTF-8";
        case kUTF32: return "UTF-32LE";
        default: return nullptr;
    }
}

int UnitOf(uint32_t enc) { return enc == kUTF16 ? 2 : enc == kUTF32 ? 4 : 1; }

// Source text to code points; a byte sequence that is not valid in the source
// encoding becomes '?' and is skipped one unit at a time.
std::vector<uint32_t> Decode(const std::string& in, uint32_t enc) {
    std::vector<uint32_t> out;
    iconv_t cd = iconv_open("UTF-32LE", IconvName(enc));
    if (cd == (iconv_t)-1) return out;
    size_t pos = 0, unit = (size_t)UnitOf(enc);
    std::vector<char> buf(in.size() * 4 + 16);
    while (pos < in.size()) {
        char* src = (char*)in.data() + pos;
        size_t srcLeft = in.size() - pos;
        char* dst = buf.data();
        size_t dstLeft = buf.size();
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        size_t produced = (size_t)(dst - buf.data()) / 4;
        for (size_t i = 0; i < produced; ++i) {
            uint32_t u;
            memcpy(&u, buf.data() + 4 * i, 4);
            out.push_back(u);
        }
        pos = in.size() - srcLeft;
        if (r == (size_t)-1) {
            out.push_back('?');
            pos += unit;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

// Code points to the target encoding; a character the target cannot hold
// becomes '?'.
std::string Encode(const std::vector<uint32_t>& cps, uint32_t enc) {
    std::string out;
    iconv_t cd = iconv_open(IconvName(enc), "UTF-32LE");
    if (cd == (iconv_t)-1) return out;
    for (uint32_t cp : cps) {
        char in[4];
        memcpy(in, &cp, 4);
        char outBuf[16];
        char* src = in;
        size_t srcLeft = 4;
        char* dst = outBuf;
        size_t dstLeft = sizeof outBuf;
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == (size_t)-1) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            uint32_t q = '?';
            memcpy(in, &q, 4);
            src = in, srcLeft = 4, dst = outBuf, dstLeft = sizeof outBuf;
            iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        }
        out.append(outBuf, (size_t)(dst - outBuf));
    }
    iconv_close(cd);
    return out;
}

}  // namespace

StringRec* Host::Convert(StringRec* s, uint32_t encoding) {
    if (s == nullptr || Check(s, "REALConvertString") == nullptr) return nullptr;
    std::string bytes = Bytes(s);
    std::string out;
    if (s->encoding == encoding || s->encoding == kRaw || encoding == kRaw || IconvName(s->encoding) == nullptr) {
        out = bytes;  // same encoding, or raw bytes: passed through under the new tag
    } else if (IconvName(encoding) == nullptr) {
        return nullptr;
    } else {
        out = Encode(Decode(bytes, s->encoding), encoding);
    }
    return NewString(out, encoding);
}

}  // namespace host
