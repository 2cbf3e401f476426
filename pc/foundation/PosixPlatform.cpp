#include "PosixPlatform.h"

#include "TPosixFileSystem.h"
#include "TPosixThreadScheduler.h"

void InstallPosixPlatform() {
  static TPosixFileSystem fileSystem;
  static TPosixThreadScheduler scheduler;
  SetFileSystem(&fileSystem);
  SetThreadScheduler(&scheduler);
}
