// POSIX hosts: narrow text is single-byte (see Text.h).
#include "Text.h"

namespace cdk_text {

bool isAnsiLeadByte(unsigned char) { return false; }

}  // namespace cdk_text
