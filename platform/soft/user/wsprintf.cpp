// The window system's own formatting dialect: %[-][#][0][width][.precision][size]type with
// the types d i u x X c s, the size prefixes l and h, and %% for a per-cent sign. There is
// no floating point and no '*' width. The output, terminator included, never exceeds 1024
// characters; the result is the number of characters stored before the terminator.
#include <cstring>

#include "platform/win.h"

namespace {

constexpr int kMaxOutput = 1024;  // characters, including the terminator

struct Out {
    char* dst;
    int len = 0;
    void Put(char c) {
        if (len < kMaxOutput - 1)
            dst[len++] = c;
    }
    void Repeat(char c, int n) {
        for (int i = 0; i < n; ++i)
            Put(c);
    }
};

}  // namespace

int wvsprintfA(LPSTR out, LPCSTR format, va_list args) {
    if (out == nullptr)
        return 0;
    Out o{out};
    if (format == nullptr) {
        out[0] = '\0';
        return 0;
    }
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            o.Put(*p);
            continue;
        }
        const char* start = p;
        ++p;
        bool left = false, zero = false, alt = false;
        for (;; ++p) {
            if (*p == '-')
                left = true;
            else if (*p == '0')
                zero = true;
            else if (*p == '#')
                alt = true;
            else
                break;
        }
        int width = 0;
        while (*p >= '0' && *p <= '9') {
            if (width < kMaxOutput)
                width = width * 10 + (*p - '0');
            ++p;
        }
        int precision = -1;
        if (*p == '.') {
            ++p;
            precision = 0;
            while (*p >= '0' && *p <= '9') {
                if (precision < kMaxOutput)
                    precision = precision * 10 + (*p - '0');
                ++p;
            }
        }
        bool isShort = false, isLong = false;
        if (*p == 'l' || *p == 'L') {
            isLong = true;
            ++p;
        } else if (*p == 'h') {
            isShort = true;
            ++p;
        }
        char type = *p;
        if (type == '\0') {
            // A directive cut short by the end of the format prints as it stands.
            for (const char* q = start; q < p; ++q)
                o.Put(*q);
            break;
        }
        switch (type) {
            case '%':
                o.Put('%');
                break;
            case 'c': {
                char c = static_cast<char>(va_arg(args, int));
                if (!left)
                    o.Repeat(' ', width - 1);
                o.Put(c);
                if (left)
                    o.Repeat(' ', width - 1);
                break;
            }
            case 's': {
                const char* s = va_arg(args, const char*);
                if (s == nullptr)
                    s = "(null)";
                int n = 0;
                while (s[n] != '\0' && (precision < 0 || n < precision))
                    ++n;
                if (!left)
                    o.Repeat(zero ? '0' : ' ', width - n);
                for (int i = 0; i < n; ++i)
                    o.Put(s[i]);
                if (left)
                    o.Repeat(' ', width - n);
                break;
            }
            case 'd':
            case 'i':
            case 'u':
            case 'x':
            case 'X': {
                // The platform's integers are 32 bits wide; an "l" argument arrives as a C
                // long (the compiler checks these formats as printf's) and is taken as 32 bits.
                unsigned long long magnitude;
                bool negative = false;
                if (type == 'd' || type == 'i') {
                    int32_t v = isLong ? static_cast<int32_t>(va_arg(args, long))
                                       : static_cast<int32_t>(va_arg(args, int));
                    if (isShort)
                        v = static_cast<int16_t>(v);
                    negative = v < 0;
                    magnitude =
                        negative ? 0ull - static_cast<unsigned long long>(static_cast<long long>(v))
                                 : static_cast<unsigned long long>(v);
                } else {
                    uint32_t v = isLong ? static_cast<uint32_t>(va_arg(args, unsigned long))
                                        : static_cast<uint32_t>(va_arg(args, unsigned));
                    magnitude = isShort ? static_cast<uint16_t>(v) : v;
                }
                unsigned base = (type == 'x' || type == 'X') ? 16 : 10;
                const char* digits = type == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
                char buf[32];
                int n = 0;
                do {
                    buf[n++] = digits[magnitude % base];
                    magnitude /= base;
                } while (magnitude != 0);
                if (precision == 0 && n == 1 && buf[0] == '0')
                    n = 0;  // ".0" prints nothing for zero
                int digitCount = precision > n ? precision : n;
                const char* prefix = negative                       ? "-"
                                     : (alt && base == 16 && n > 0) ? (type == 'X' ? "0X" : "0x")
                                                                    : "";
                int prefixLen = static_cast<int>(strlen(prefix));
                int pad = width - digitCount - prefixLen;
                bool zeroPad = zero && !left && precision < 0;
                if (!left && !zeroPad)
                    o.Repeat(' ', pad);
                for (const char* q = prefix; *q; ++q)
                    o.Put(*q);
                if (zeroPad)
                    o.Repeat('0', pad);
                o.Repeat('0', digitCount - n);
                while (n > 0)
                    o.Put(buf[--n]);
                if (left)
                    o.Repeat(' ', pad);
                break;
            }
            default:
                // An unknown type prints itself.
                o.Put(type);
                break;
        }
    }
    out[o.len] = '\0';
    return o.len;
}

int wsprintfA(LPSTR out, LPCSTR format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = wvsprintfA(out, format, ap);
    va_end(ap);
    return n;
}

LPSTR lstrcatA(LPSTR dest, LPCSTR src) {
    if (dest == nullptr || src == nullptr)
        return nullptr;
    return strcat(dest, src);
}
