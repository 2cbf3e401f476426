#include "TLargeFileChunk.h"

void TLargeFileChunk::Read(TInOut& in) { in.Seek(in.Tell() + GetBytesInFile()); }

void TLargeFileChunk::Write(TInOut& out) { out.Seek(out.Tell() + GetSize()); }
