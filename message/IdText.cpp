#include "message/IdText.h"

TIdText::TIdText(TIdMessageParts* parts, const TStringList* body) : TIdMessagePart(parts, TDescendant{}) {
    if (body != nullptr) body_ = *body;
}
