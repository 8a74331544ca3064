// The image decoder's implementation compiled into the texture target, so
// that the fuzzer gets coverage from inside it and the sanitizers check it;
// the program itself uses the system's shared library, which takes the same
// source. Its definitions take precedence over the library's.
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
