// "Invia mail" on the "  MAPI  " tab: the test message handed to the mail
// program through the Simple MAPI sender, every step logged.
//   SendByMapi(context)  the whole send as one guarded block; an exception
//                        of our family is logged as its message and ends it
#pragma once

#include "app/MailActionContext.h"

// False when a field was refused before anything was handed over.
bool SendByMapi(TMailActionContext& context);
