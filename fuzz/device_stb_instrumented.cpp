// The picture decoder compiled into the image fuzzer itself, so the fuzzer sees (and sanitizes) the
// decoder's own branches; these definitions take the place of the shared library's.
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
