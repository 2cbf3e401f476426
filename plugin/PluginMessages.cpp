// The plug-in carries the foundation's string class but none of the host's message
// boxes: what the strings would report goes to standard error.
#include <cstdio>

#include "foundation/Messages.h"

void ShowOutOfMemory(EOutOfMemory form) {
  std::fputs(form == EOutOfMemory::String ? "Thudra: TStr: Out of Memory !!!\n" : "Thudra: Out of Memory !!!\n",
             stderr);
}
