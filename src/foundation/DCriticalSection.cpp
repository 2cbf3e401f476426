#include "DCriticalSection.h"

#include "Messages.h"

ICriticalSection* ICriticalSection::Create() { return CreateOrReport<DCriticalSection>(); }
