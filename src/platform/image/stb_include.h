// Includes the stb header named by KV_STB_HEADER with the warnings stb's code
// raises under -Wall -Wextra silenced, and only there. Define stb's own
// options (IMPLEMENTATION, STATIC, ONLY_...) before including this file. No
// include guard: each stb header comes through here once.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include KV_STB_HEADER
#pragma GCC diagnostic pop
#undef KV_STB_HEADER
