#include "message/IdAttachment.h"

std::string TIdAttachment::ContentDisposition() const {
    const std::string value = Headers().Values("Content-Disposition");
    return value.substr(0, value.find(';'));
}
