#include "platform/FileName.h"

#include "core/Stream.h"

bool FileReadable(const std::string& ansi) {
    if (ansi.empty()) return false;
    try {
        // The same open the attachment will get at send time.
        TFileStream probe(SystemFileName(ansi), TFileStream::Mode::Read);
        return true;
    } catch (const EFileNameError&) {
        return false;
    } catch (const EFOpenError&) {
        return false;
    }
}

void CheckFileReadable(const std::string& ansi) {
    if (!FileReadable(ansi)) throw EFOpenError(Format("Cannot open file %s", ansi.c_str()));
}
