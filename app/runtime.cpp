// The few memory and text routines that the compiler may call on its own
// (for structure copies, clearing loops and length loops). The installer
// image links no C runtime, so it brings its own.
//
// Each loop is compiled without loop-pattern distribution, which would
// otherwise turn it back into a call to the very routine it implements.

#include <stddef.h>

#define PLAIN_LOOP __attribute__((optimize("no-tree-loop-distribute-patterns")))

extern "C" {

PLAIN_LOOP void* memset(void* destination, int value, size_t size)
{
    unsigned char* out = static_cast<unsigned char*>(destination);
    for (size_t i = 0; i < size; ++i) {
        out[i] = static_cast<unsigned char>(value);
    }
    return destination;
}

PLAIN_LOOP void* memcpy(void* destination, const void* source, size_t size)
{
    unsigned char* out = static_cast<unsigned char*>(destination);
    const unsigned char* in = static_cast<const unsigned char*>(source);
    for (size_t i = 0; i < size; ++i) {
        out[i] = in[i];
    }
    return destination;
}

PLAIN_LOOP void* memmove(void* destination, const void* source, size_t size)
{
    unsigned char* out = static_cast<unsigned char*>(destination);
    const unsigned char* in = static_cast<const unsigned char*>(source);
    if (out < in) {
        for (size_t i = 0; i < size; ++i) {
            out[i] = in[i];
        }
    } else {
        for (size_t i = size; i > 0; --i) {
            out[i - 1] = in[i - 1];
        }
    }
    return destination;
}

PLAIN_LOOP int memcmp(const void* left, const void* right, size_t size)
{
    const unsigned char* a = static_cast<const unsigned char*>(left);
    const unsigned char* b = static_cast<const unsigned char*>(right);
    for (size_t i = 0; i < size; ++i) {
        if (a[i] != b[i]) {
            return a[i] < b[i] ? -1 : 1;
        }
    }
    return 0;
}

PLAIN_LOOP size_t strlen(const char* text)
{
    size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

}  // extern "C"
