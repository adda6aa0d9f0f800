#include "mapi/DefaultMailClient.h"

#include "core/StringList.h"
#include "platform/Registry.h"

std::string ReadDefaultMailClient() {
    std::string name;
    TRegistry reg(HKEY_LOCAL_MACHINE);
    if (reg.OpenKeyReadOnly("SOFTWARE\\Clients\\Mail")) name = Trim(reg.ReadString(""));
    return name.empty() ? "Nessuno" : name;
}
