// Stand-ins for a damaged driver-access library: without its entry
// (ASIO_TEST_NO_ENTRY), with a table of nine operations (ASIO_TEST_SHORT), or with a
// gap in the table (ASIO_TEST_GAP).
#include "audio/asio/AsioLibrary.h"

namespace {
int32_t List(TAsioDriverNames* names, int32_t* count) {
  (*names)[0][0] = 'X';
  (*names)[0][1] = 0;
  *count = 1;
  return 1;
}
int32_t Init(const char*, TAsioHandle, TAsioDriverInfo*) { return 1; }
int32_t None() { return 0; }
int32_t Create(TAsioBufferInfo*, int32_t, int32_t, const TAsioCallbacks*, TAsioDriverInfo*) { return 0; }
int32_t Clock(TAsioDriverInfo*, int32_t) { return 44100; }
int32_t Panel(intptr_t) { return 0; }

#if defined(ASIO_TEST_SHORT)
const TAsioOrdinals table{9, &List, &Init, &None, &Create, &None, &None, &None, &None, &Clock, &Panel};
#elif defined(ASIO_TEST_GAP)
const TAsioOrdinals table{10, &List, &Init, &None, &Create, &None, &None, nullptr, &None, &Clock, &Panel};
#endif
}  // namespace

#if !defined(ASIO_TEST_NO_ENTRY)
extern "C" __attribute__((visibility("default"))) const TAsioOrdinals* AsioOrdinals() { return &table; }
#else
extern "C" __attribute__((visibility("default"))) int NotTheEntry() { return List(nullptr, nullptr); }
#endif
