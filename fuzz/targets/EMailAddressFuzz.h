// Address parsing: one item's Text and a whole list's EMailAddresses, each
// read back from its own display form.
#pragma once

#include "fuzz/FuzzSupport.h"
#include "message/IdEMailAddress.h"

inline int FuzzEMailAddress(const uint8_t* data, size_t size) {
    TFuzzInput input(data, size);
    const bool asList = input.Flag();
    const std::string text = input.Rest();
    try {
        if (asList) {
            TIdEMailAddressList list;
            list.SetEMailAddresses(text);
            const std::string shown = list.EMailAddresses();
            TIdEMailAddressList again;
            again.SetEMailAddresses(shown);
            (void)again.EMailAddresses();
            while (list.Count() > 0) delete list.Items(0);
        } else {
            TIdEMailAddressItem item;
            item.SetText(text);
            (void)item.User();
            (void)item.Domain();
            TIdEMailAddressItem again;
            again.SetText(item.Text());
            (void)again.Text();
        }
    } catch (const EIdEmailParseError&) {
    }
    return 0;
}
