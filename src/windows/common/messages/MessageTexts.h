// Identifiers of the launcher's message texts and the texts themselves for the host builds. The
// Windows builds load the same texts from the module's string table (Messages.rc); both come
// from MessageTexts.def.
#pragma once

#include <cstdint>

#include "Languages.h"

enum MessageId : unsigned {
#define CDK_MESSAGE(symbol, id, english, japanese, chinese) symbol = id,
#include "MessageTexts.def"
#undef CDK_MESSAGE
};

// The languages of the string table are the install languages.
// The UTF-8 text of a message in one of the three languages; null for an unknown id or
// language.
const char* messageText(unsigned id, uint16_t language);

// Every message id, in the order of the table.
struct MessageIdList {
    const unsigned* ids;
    unsigned count;
};
MessageIdList allMessageIds();
