// Installs the platform side of the foundation: POSIX file services and thread
// priorities. Programs and tests call it once before they touch files; calling it
// again does nothing.
#pragma once

void InstallPosixPlatform();
