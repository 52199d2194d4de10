// The ANSI code page of Windows: its lead bytes.
#include <windows.h>

#include "Text.h"

namespace cdk_text {

bool isAnsiLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

}  // namespace cdk_text
