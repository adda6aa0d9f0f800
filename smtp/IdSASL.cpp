#include "smtp/IdSASL.h"

std::string TIdSASL::NextResponse(const std::string& /*challenge*/) { return std::string(); }

bool TIdSASL::IsOffered(const TStringList* offered) const {
    return offered != nullptr && offered->IndexOf(MechanismName()) >= 0;
}
