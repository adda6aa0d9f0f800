#include "message/IdAttachmentFile.h"

#include <cstdio>

#include "platform/FileName.h"

namespace {

// The path is ANSI text; the file system knows the file by its UTF-8 name.
// A path with bytes the code page does not define names no file.
std::string SystemName(const std::string& path) {
    try {
        return SystemFileName(path);
    } catch (const EFileNameError&) {
        return {};
    }
}

}  // namespace

std::string ExtractFileName(const std::string& path) { return BaseFileName(path); }

TIdAttachmentFile::TIdAttachmentFile(TIdMessageParts* parts, const std::string& path)
    : TIdAttachment(parts), sourcePath_(path) {
    SetFileName(ExtractFileName(path));
}

TIdAttachmentFile::~TIdAttachmentFile() {
    stream_.reset();
    if (fileIsTempFile_) std::remove(SystemName(sourcePath_).c_str());
}

TStream& TIdAttachmentFile::OpenContent() {
    try {
        stream_ = std::make_unique<TFileStream>(SystemName(sourcePath_), TFileStream::Mode::Read);
    } catch (const EFOpenError&) {
        // The message names the file as the user typed it.
        throw EFOpenError(Format("Cannot open file %s", sourcePath_.c_str()));
    }
    return *stream_;
}

void TIdAttachmentFile::CloseContent() { stream_.reset(); }
