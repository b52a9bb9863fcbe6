// CoTaskMemAlloc and friends: the C heap, so memory crosses modules freely.
#include <cstdlib>

#include "plat/com.h"

extern "C" {

LPVOID CoTaskMemAlloc(SIZE_T cb) { return std::malloc(cb == 0 ? 1 : cb); }

// As on Windows, a size of 0 frees the block and answers null.
LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
  if (cb == 0) {
    std::free(pv);
    return nullptr;
  }
  return std::realloc(pv, cb);
}

void CoTaskMemFree(LPVOID pv) { std::free(pv); }

}  // extern "C"
